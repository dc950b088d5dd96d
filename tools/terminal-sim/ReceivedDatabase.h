#pragma once
// Writing a database that a simulated terminal received whole, shared by
// terminal-sim and the PC/SC test reader driver.

#include "TerminalEngine.h"

#include <string>

// The file name for load number `load`: "%n" in pattern stands for it.
std::string receivedDatabasePath(const std::string &pattern, int load);

// Writes the load's data to receivedDatabasePath(pattern, load.number),
// beside its final name first and renamed into place, so a reader of the
// file never sees half a database. Notes the outcome in the engine's frame
// log. False with the reason in error when it could not be written.
bool writeReceivedDatabase(const CompletedLoad &load, const std::string &pattern, FrameLog &log,
                           std::string &error);
