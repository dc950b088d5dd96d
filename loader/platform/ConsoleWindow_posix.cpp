#include "ConsoleWindow.h"

#include <csignal>

// A program started from a terminal on Linux has no console window of its own.
void hideConsoleWindow() {}

void keepRunningWhenOutputCloses()
{
    // A write to a pipe nobody reads then fails with EPIPE, which stdio
    // keeps to itself.
    std::signal(SIGPIPE, SIG_IGN);
}
