#include "ThreadId.h"

#include <windows.h>

namespace rdrload {

uint32_t currentThreadId()
{
    return ::GetCurrentThreadId();
}

} // namespace rdrload
