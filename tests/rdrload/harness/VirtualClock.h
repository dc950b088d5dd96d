#pragma once

#include "link/Clock.h"

#include <cstdint>
#include <mutex>
#include <vector>

namespace rdrload::testing {

// A clock on which every pause returns at once and only moves the time:
// the 10 s open attempts, the 1 s close pause and the long acknowledgement
// waits of the exchanges run instantly and exactly. Thread-safe.
class VirtualClock : public Clock {
public:
    void sleep(uint32_t milliseconds) override;
    uint64_t nowMs() override;

    // Moves the time forward (never back).
    void advanceTo(uint64_t ms);
    // The pauses asked for, in order.
    std::vector<uint32_t> sleeps() const;
    uint64_t totalSlept() const;

private:
    mutable std::mutex mutex_;
    uint64_t now_ = 0;
    std::vector<uint32_t> sleeps_;
};

} // namespace rdrload::testing
