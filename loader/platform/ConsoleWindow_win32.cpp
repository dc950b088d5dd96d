#include "ConsoleWindow.h"

#include <windows.h>

// KLAVCharger is a console program, so console mode prints to the console it
// was started from. In graphical mode the console Windows opened for the
// program alone is hidden; a console it shares with the command prompt that
// started it stays visible, or the user would lose that window.
void hideConsoleWindow()
{
    HWND console = GetConsoleWindow();
    if (!console)
        return;
    DWORD processes[2] = {};
    if (GetConsoleProcessList(processes, 2) > 1)
        return;
    ShowWindow(console, SW_HIDE);
}

// Windows has no signal for a closed pipe: the write fails and stdio keeps
// the error to itself.
void keepRunningWhenOutputCloses() {}
