#pragma once
// Folders the program reads and writes: through Qt (AppFolders.cpp), or
// through the shell on Windows (AppFolders_win32.cpp).

#include <string>

// Folder of the running executable (icons/, lang/ and config/ live beside it).
std::string executableFolder();

// The user's documents folder (may not exist yet on a fresh account).
std::string documentsFolder();
