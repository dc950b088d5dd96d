#pragma once

#include "SerialChannel.h"

#include <memory>
#include <string>

namespace rdrload {

// The platform's serial service: opens COM ports by number.
//
// A platform handle is how a host program holds a port it keeps open after
// a call: on Windows the HANDLE that CreateFileA gives, on POSIX the file
// descriptor as a pointer-sized value. The host closes it with the
// platform's own call (CloseHandle, close).
class SerialSystem {
public:
    virtual ~SerialSystem() = default;

    // Opens COM port `number` for reading and writing, for this caller
    // alone; null when the port is absent or held by someone else.
    virtual std::unique_ptr<SerialChannel> open(int number) = 0;
    // A line over a platform handle its caller owns: one a line handed over,
    // or one a host opened itself. The line uses it as it is and never closes
    // it; when the handle is not an open port, its calls fail. Never null.
    virtual std::unique_ptr<SerialChannel> borrow(void *platformHandle) = 0;
    // The system's message text for an error code of a line.
    virtual std::string errorText(int error) = 0;
};

} // namespace rdrload
