#pragma once

// Hides the console window the program was started from, where the platform
// gives a graphical program one; elsewhere it does nothing.
void hideConsoleWindow();
