#pragma once

#include "link/CloseFailureNotice.h"
#include "link/SerialSystem.h"
#include "link/TraceSink.h"

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

// The notice of a failed close: a modal message box titled "Error" on
// Windows, standard error on POSIX.
std::unique_ptr<CloseFailureNotice> createPlatformCloseFailureNotice();

} // namespace rdrload
