#include "BootRecordLink.h"

#include <cstdio>
#include <vector>

namespace rdrload {

namespace {

// The echo of a line may come back in pieces: one read, then at most 20
// more for what is still missing.
constexpr int kEchoReads = 21;
// A single byte (an echoed character, an acknowledgement) gets 20 reads.
constexpr int kByteReads = 20;

constexpr uint32_t kBulkFailurePauseMs = 20;
constexpr uint32_t kBulkStepFailurePauseMs = 10;
constexpr uint32_t kEchoFailurePauseMs = 10;

} // namespace

std::string BootRecordLink::format(uint32_t address, const uint8_t *data, std::size_t length,
                                   uint8_t flags)
{
    char head[11];
    std::snprintf(head, sizeof head, "%08X%02X", static_cast<unsigned>(address),
                  static_cast<unsigned>((length | flags) & 0xFFu));
    std::string line(head);
    char hex[3];
    for (std::size_t i = 0; i < length; ++i) {
        std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned>(data[i]));
        line += hex;
    }
    return line;
}

bool BootRecordLink::readOneByte(uint8_t &byte)
{
    for (int attempt = 0; attempt < kByteReads; ++attempt) {
        std::size_t received = 0;
        if (ReadPort(handle_, &byte, 1, &received) && received == 1)
            return true;
    }
    return false;
}

bool BootRecordLink::readEcho(std::size_t count)
{
    std::vector<uint8_t> echo(count);
    std::size_t missing = count;
    for (int attempt = 0; attempt < kEchoReads && missing > 0; ++attempt) {
        std::size_t received = 0;
        // A failing read call counts as a read that came back short.
        if (ReadPort(handle_, echo.data() + (count - missing), missing, &received))
            missing -= received;
    }
    return missing == 0;
}

bool BootRecordLink::sendBulk(const std::string &line)
{
    std::size_t written = 0;
    if (!WritePort(handle_, line.data(), line.size(), &written) || written != line.size()) {
        SleepMs(kBulkStepFailurePauseMs);
        SleepMs(kBulkFailurePauseMs);
        return false;
    }
    if (!readEcho(line.size())) {
        SleepMs(kBulkFailurePauseMs);
        return false;
    }
    uint8_t acknowledgement = 0;
    if (carriesData(line) && !readOneByte(acknowledgement)) {
        SleepMs(kBulkStepFailurePauseMs);
        SleepMs(kBulkFailurePauseMs);
        return false;
    }
    return true;
}

bool BootRecordLink::exchangeCharacter(char sent, char expected)
{
    std::size_t written = 0;
    if (!WritePort(handle_, &sent, 1, &written) || written != 1)
        return false;
    uint8_t answer = 0;
    return readOneByte(answer) && answer == static_cast<uint8_t>(expected);
}

bool BootRecordLink::sendEcho(const std::string &line)
{
    for (char character : line) {
        if (!exchangeCharacter(character, character)) {
            SleepMs(kEchoFailurePauseMs);
            return false;
        }
    }
    uint8_t acknowledgement = 0;
    if (carriesData(line) && !readOneByte(acknowledgement)) {
        SleepMs(kEchoFailurePauseMs);
        return false;
    }
    return true;
}

} // namespace rdrload
