#pragma once

#include "link/Clock.h"

namespace rdrload {

// Real time: the platform's monotonic clock and sleep (the standard
// library's on POSIX, GetTickCount64 and Sleep on Windows).
class SteadyClock : public Clock {
public:
    void sleep(uint32_t milliseconds) override;
    uint64_t nowMs() override;
};

} // namespace rdrload
