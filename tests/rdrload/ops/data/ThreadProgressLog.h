#pragma once

#include "api/rdrload.h"

#include <cstdint>
#include <string>
#include <vector>

namespace rdrload::testing {

// One progress report as the callback saw it.
struct SeenReport {
    uint32_t done = 0;
    uint32_t remaining = 0;
    uint32_t threshold = 0; // *nextReport
    std::string text;
    uint32_t threadId = 0;
};

// The reports made to progressLogCallback on this thread since the last
// clear.
std::vector<SeenReport> &progressLog();
void __stdcall progressLogCallback(void *info);

} // namespace rdrload::testing
