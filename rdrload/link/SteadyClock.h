#pragma once

#include "Clock.h"

namespace rdrload {

// Real time: the standard library's monotonic clock and thread sleep.
class SteadyClock : public Clock {
public:
    void sleep(uint32_t milliseconds) override;
    uint64_t nowMs() override;
};

} // namespace rdrload
