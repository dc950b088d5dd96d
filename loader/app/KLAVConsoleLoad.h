#pragma once

#include "KLAVExitStatus.h"

#include <string>

// Console load: finds the terminal on the named port among the discovered
// devices and runs one whole load on the calling thread. Returns
// DEVICE_NOT_FOUND when no device reports that port, else the load's result.
KLAVExitStatus cmdExec(std::string databasePath, std::string portName, std::string padText);
