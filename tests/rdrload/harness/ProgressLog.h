#pragma once

#include "api/rdrload.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace rdrload::testing {

// Every progress report an operation made, through a plain callback as hosts
// pass it. One operation at a time.
struct Report {
    std::string text;
    uint32_t done;
    uint32_t remaining;
    bool operator==(const Report &other) const
    {
        return text == other.text && done == other.done && remaining == other.remaining;
    }
};
std::ostream &operator<<(std::ostream &out, const Report &report);

class ProgressLog {
public:
    // Clears the log; with `threshold` above 0 the callback writes it into
    // the counter behind nextReport at the first report, as a host may.
    static void start(uint32_t threshold = 0);
    static void __stdcall callback(void *info);
    static const std::vector<Report> &reports();
    static std::vector<std::string> texts();
    static int count(const std::string &text);
};

} // namespace rdrload::testing
