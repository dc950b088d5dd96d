#include "KLAVRunMode.h"

bool g_consoleMode = false;
