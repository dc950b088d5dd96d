#include "LocalTime.h"

namespace rdrload {

bool toLocalTime(std::time_t when, std::tm &record)
{
    return localtime_r(&when, &record) != nullptr;
}

} // namespace rdrload
