#include "DownloadData.h"

#include "PortTransfers.h"
#include "api/rdrload.h"
#include "link/LinkTrace.h"
#include "link/SerialLink.h"

#include <cstdint>

namespace rdrload {

namespace {

constexpr uint32_t kBaudRate = 57600;
constexpr uint8_t kDownloadRequest = '5';
constexpr int kLongestBlock = 0xFFFF;

// One write, then the reader's acknowledgement within `ackMs`. A failed or
// short write closes the port and gives 18.
int sendAcknowledged(PortHandle *handle, const void *bytes, std::size_t count, uint32_t ackMs)
{
    if (!writeWhole(*handle, bytes, count))
        return closeWith(handle, "DownloadData ClosePort \n", OTHER_ERROR);
    return CheckACK(handle, ackMs);
}

} // namespace

int DownloadData(const unsigned char *data, int length, char letter, int port)
{
    // The length field carries 16 bits: a longer block would be announced
    // short and then overrun the reader with the rest of its bytes.
    if (length < 0 || length > kLongestBlock)
        return PARAMETER_ERROR;
    if (data == nullptr && length > 0)
        return NULL_BUFFER;
    PortHandle handle = nullptr;
    if (int result = OpenPort(port, &handle, kBaudRate); result != 0)
        return result;
    traceText("DownloadData OpenPort \n");
    SendDoubleBreak(handle);
    if (int result = CheckACK(&handle, 10000); result != 0)
        return result;
    const uint8_t request = kDownloadRequest;
    if (int result = sendAcknowledged(&handle, &request, 1, 10000); result != 0)
        return result;
    const uint8_t type = static_cast<uint8_t>(letter);
    if (int result = sendAcknowledged(&handle, &type, 1, 1000); result != 0)
        return result;
    const uint8_t lengthField[2] = {static_cast<uint8_t>(length & 0xFF),
                                    static_cast<uint8_t>((length >> 8) & 0xFF)};
    if (int result = sendAcknowledged(&handle, lengthField, 2, 1000); result != 0)
        return result;
    if (int result = sendAcknowledged(&handle, data, static_cast<std::size_t>(length), 5000);
        result != 0)
        return result;
    ClosePort(&handle);
    traceText("DownloadData ClosePort \n");
    return 0;
}

} // namespace rdrload
