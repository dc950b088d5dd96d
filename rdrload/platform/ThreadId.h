#pragma once

#include <cstdint>

namespace rdrload {

// The calling thread's identifier as the platform numbers threads (the
// kernel's thread id on Linux, GetCurrentThreadId on Windows), for the threadId of progress
// reports.
uint32_t currentThreadId();

} // namespace rdrload
