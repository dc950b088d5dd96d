#pragma once

#include <cstdint>

namespace rdrload {

// Every pause of the library goes through a Clock, so that tests can run
// the long waits of the exchanges on a virtual one.
class Clock {
public:
    virtual ~Clock() = default;

    virtual void sleep(uint32_t milliseconds) = 0;
    // Milliseconds on a monotonic scale with an arbitrary origin.
    virtual uint64_t nowMs() = 0;
};

} // namespace rdrload
