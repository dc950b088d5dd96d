#pragma once

#include "LineSettings.h"

#include <cstddef>
#include <cstdint>

namespace rdrload {

// How long a read of `count` bytes may wait under a line's timeouts.
struct ReadWaitPlan {
    bool immediate = false;   // return at once with what has arrived
    bool hasTotal = false;    // a total deadline applies
    uint64_t totalMs = 0;     // readMultiplier * count + readConstant
    bool hasInterval = false; // a gap limit between bytes applies
    uint32_t intervalMs = 0;  // counted after the first byte

    static ReadWaitPlan forRead(const PortTimeouts &timeouts, std::size_t count);
};

} // namespace rdrload
