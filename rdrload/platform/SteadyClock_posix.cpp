#include "SteadyClock.h"

#include <chrono>
#include <thread>

namespace rdrload {

void SteadyClock::sleep(uint32_t milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

uint64_t SteadyClock::nowMs()
{
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace rdrload
