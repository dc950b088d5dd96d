#pragma once

#include <ctime>

namespace rdrload {

// Converts calendar time `when` to the host's local time in `record`, which
// belongs to the caller (no shared runtime buffer). Whether it succeeded.
bool toLocalTime(std::time_t when, std::tm &record);

} // namespace rdrload
