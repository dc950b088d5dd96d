#pragma once
// Folders the program reads and writes, found through Qt on every platform.

#include <string>

// Folder of the running executable (icons/, lang/ and config/ live beside it).
std::string executableFolder();

// The user's documents folder (may not exist yet on a fresh account).
std::string documentsFolder();
