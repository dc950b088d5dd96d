#pragma once
// How the program runs: the console load (started with arguments) or the
// window. Set once by the entry before anything else; read by the layers
// that show something only in one of the two modes.

// True when the program was started with at least one argument.
extern bool g_consoleMode;
