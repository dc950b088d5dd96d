#pragma once

// Hides the console window the program was started from, where the platform
// gives a graphical program one; elsewhere it does nothing.
void hideConsoleWindow();

// A console load goes on when its standard output is closed (piped into a
// program such as head that ended): writes to it fail instead of ending the
// process, and the exit status still carries the load's result.
void keepRunningWhenOutputCloses();
