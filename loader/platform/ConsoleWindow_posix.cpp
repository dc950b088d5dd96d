#include "ConsoleWindow.h"

// A program started from a terminal on Linux has no console window of its own.
void hideConsoleWindow() {}
