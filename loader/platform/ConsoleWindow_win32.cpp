#include "ConsoleWindow.h"

#include <windows.h>

void hideConsoleWindow()
{
    if (HWND console = GetConsoleWindow())
        ShowWindow(console, SW_HIDE);
}
