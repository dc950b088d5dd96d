#pragma once

#include "SerialSystem.h"
#include "TraceSink.h"

#include <memory>
#include <string>

namespace rdrload {

// The platform's own services, one implementation per platform
// (*_posix.cpp, *_win32.cpp).

// The serial service. deviceFolder is where COM port devices are looked up
// ("/dev" on Linux; see DevicePathRule); Windows opens "\\.\COM<n>" and
// ignores it.
std::unique_ptr<SerialSystem> createPlatformSerialSystem(const std::string &deviceFolder);

// The folder createPlatformSerialSystem() is given in production.
std::string platformDeviceFolder();

// The debug output channel: syslog at debug level on Linux, the debugger
// message stream (OutputDebugStringA) on Windows.
std::unique_ptr<TraceSink> createPlatformTraceSink();

} // namespace rdrload

namespace rdrload {

// Tells the user that closing a port failed, with the system's text for
// the error: on Linux to the trace sink in use and to standard error, on
// Windows in a modal message box titled "Error".
void showCloseFailure(const std::string &systemText);

} // namespace rdrload
