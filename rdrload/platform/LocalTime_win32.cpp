#include "LocalTime.h"

namespace rdrload {

bool toLocalTime(std::time_t when, std::tm &record)
{
    return localtime_s(&record, &when) == 0;
}

} // namespace rdrload
