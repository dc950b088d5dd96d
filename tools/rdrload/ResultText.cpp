#include "ResultText.h"

#include <cstdint>
#include <cstdio>

namespace {

bool isRefusal(int result, ResultKind kind)
{
    if (kind != ResultKind::Update)
        return false;
    const auto bits = static_cast<uint32_t>(result);
    return (bits & 0xFFFFFF00u) == 0xFF000000u && (bits & 0xFFu) != 0;
}

bool isByteCount(int result, ResultKind kind)
{
    return kind == ResultKind::ByteCount && result <= 0;
}

} // namespace

std::string resultLabel(int result)
{
    switch (result) {
    case 1:
        return "OPEN_COM_PORT";
    case 2:
        return "COM_ERROR";
    case 3:
        return "FILE_ERROR";
    case 5:
        return "SIGNATURE_ERROR";
    case 6:
        return "TIMEOUT_ERROR";
    case 7:
        return "WRITE_ERROR";
    case 8:
        return "NACK_ERROR";
    case 10:
        return "PARAMETER_ERROR";
    case 11:
        return "DATA_SIZE_ERROR";
    case 12:
        return "NULL_BUFFER";
    case 18:
        return "OTHER_ERROR";
    default:
        return "";
    }
}

std::string describeResult(int result, ResultKind kind)
{
    if (result == 0)
        return kind == ResultKind::ByteCount ? "0 (0 bytes)" : "0 OK";
    if (isByteCount(result, kind))
        return std::to_string(result) + " (" + std::to_string(-static_cast<long>(result)) +
               " bytes)";
    if (isRefusal(result, kind)) {
        char text[48];
        std::snprintf(text, sizeof text, "0x%08x REFUSED reason %u", static_cast<uint32_t>(result),
                      static_cast<uint32_t>(result) & 0xFFu);
        return text;
    }
    const std::string label = resultLabel(result);
    return std::to_string(result) + " " + (label.empty() ? "UNKNOWN" : label);
}

int exitStatusFor(int result, ResultKind kind)
{
    if (result == 0 || isByteCount(result, kind))
        return 0;
    if (isRefusal(result, kind))
        return exitstatus::kRefused;
    if (!resultLabel(result).empty())
        return result;
    return exitstatus::kUnknownResult;
}
