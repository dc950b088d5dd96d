#include "HostQueries.h"

#include "api/rdrload.h"
#include "platform/LocalTime.h"

#include <cstring>

namespace rdrload {

namespace {

constexpr char kSerialNumber[] = "0123456789";

} // namespace

int copySerialNumber(char *buffer)
{
    if (buffer == nullptr)
        return NULL_BUFFER;
    std::memcpy(buffer, kSerialNumber, sizeof kSerialNumber);
    return 0;
}

std::tm *clientTime()
{
    // One record per thread: two threads asking at once never share one.
    thread_local std::tm record{};
    toLocalTime(std::time(nullptr), record);
    record.tm_isdst = -1;
    return &record;
}

} // namespace rdrload
