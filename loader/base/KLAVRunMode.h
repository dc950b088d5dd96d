#pragma once
// How the program runs: the console load (started with arguments) or the
// window. Set once by the entry before anything else. What is shown only in
// one of the two modes is decided by the entry, which hands the mode on.

// True when the program was started with at least one argument.
extern bool g_consoleMode;
