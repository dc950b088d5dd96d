// Real time on Windows: every pause of the library is a Sleep.

#include "SteadyClock.h"

#include <windows.h>

namespace rdrload {

void SteadyClock::sleep(uint32_t milliseconds)
{
    ::Sleep(milliseconds);
}

uint64_t SteadyClock::nowMs()
{
    return ::GetTickCount64();
}

} // namespace rdrload
