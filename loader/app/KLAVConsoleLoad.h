#pragma once

#include <string>

// Console load: finds the terminal on the named port among the discovered
// devices and runs one whole load on the calling thread. Returns 13 when no
// device reports that port, else the load's result code.
int cmdExec(std::string databasePath, std::string portName, std::string padText);

constexpr int kDeviceNotFound = 13;
