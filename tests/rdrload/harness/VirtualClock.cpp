#include "VirtualClock.h"

#include <numeric>

namespace rdrload::testing {

void VirtualClock::sleep(uint32_t milliseconds)
{
    std::lock_guard<std::mutex> guard(mutex_);
    now_ += milliseconds;
    sleeps_.push_back(milliseconds);
}

uint64_t VirtualClock::nowMs()
{
    std::lock_guard<std::mutex> guard(mutex_);
    return now_;
}

void VirtualClock::advanceTo(uint64_t ms)
{
    std::lock_guard<std::mutex> guard(mutex_);
    if (ms > now_)
        now_ = ms;
}

std::vector<uint32_t> VirtualClock::sleeps() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return sleeps_;
}

uint64_t VirtualClock::totalSlept() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return std::accumulate(sleeps_.begin(), sleeps_.end(), uint64_t{0});
}

} // namespace rdrload::testing
