#pragma once

#include <string>

// What the front end asks of the platform it runs on.

// The library to load when none is named: on Linux ../lib/librdrload.so.1
// beside this program when it is there (a build tree or an installed
// prefix), else the soname alone; on Windows rdrload.dll beside this
// program when it is there, else the name alone (the system's search).
std::string defaultLibraryPath();

// Whether standard output is a terminal (progress then shows as a bar).
bool outputIsTerminal();

// The device the library opens for COM port number `port` (on Linux
// /dev/COM<n> when that entry is there, else /dev/ttyS<n-1>; on Windows
// \\.\COM<n>), and whether it is there to be opened.
std::string portDevice(unsigned char port, bool &present);
