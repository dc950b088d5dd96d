#include "TestMode.h"

#include "PortTransfers.h"
#include "api/rdrload.h"
#include "link/LinkTrace.h"
#include "link/SerialLink.h"

#include <cstring>
#include <vector>

namespace rdrload {

namespace {

constexpr uint32_t kBaudRate = 57600;
constexpr uint8_t kTestRequest = 'T';
constexpr uint8_t kFullTest = 0xFF;
constexpr std::size_t kStoredHeader = 3; // status byte and report length

} // namespace

uint32_t testStatusTimeout(char test)
{
    return static_cast<uint8_t>(test) == kFullTest ? 90000 : 30000;
}

int TestMode(char test, unsigned char *buffer, int size, int port)
{
    if (buffer == nullptr)
        return NULL_BUFFER;
    const std::size_t room = size > 0 ? static_cast<std::size_t>(size) : 0;
    PortHandle handle = nullptr;
    if (int result = OpenPort(port, &handle, kBaudRate); result != 0)
        return result;
    traceText("testMode OpenPort \n");
    SendDoubleBreak(handle);
    if (int result = CheckACK(&handle, 10000); result != 0)
        return result;
    if (!writeByte(handle, kTestRequest))
        return closeWith(&handle, "testMode ClosePort WRITE_ERROR 1\n", WRITE_ERROR);
    SleepMs(1);
    if (int result = CheckACK(&handle, 10000); result != 0)
        return result;
    if (!writeByte(handle, static_cast<uint8_t>(test)))
        return closeWith(&handle, "testMode ClosePort WRITE_ERROR 2\n", WRITE_ERROR);
    if (int result = CheckACK(&handle, 1000); result != 0)
        return result;
    SleepMs(1);
    // A failure here shows as the status byte not arriving.
    SetReadTimeout(handle, testStatusTimeout(test));
    uint8_t status = 0;
    if (!readWhole(handle, &status, 1))
        return closeWith(&handle, "testMode ClosePort TIMEOUT_ERROR 1\n", TIMEOUT_ERROR);
    Acknowledge(&handle);
    SetReadTimeout(handle, 1000);
    SleepMs(10);
    uint8_t lengthField[2] = {0, 0};
    if (!readWhole(handle, lengthField, 2))
        return closeWith(&handle, "testMode ClosePort TIMEOUT_ERROR 2\n", TIMEOUT_ERROR);
    const std::size_t length = lengthField[0] | (lengthField[1] << 8);
    Acknowledge(&handle);
    SleepMs(1);
    std::vector<uint8_t> report(length);
    if (length != 0) {
        if (!readWhole(handle, report.data(), length))
            return closeWith(&handle, "testMode ClosePort TIMEOUT_ERROR 3\n", TIMEOUT_ERROR);
        Acknowledge(&handle);
        SleepMs(1);
    }
    if (room < length + kStoredHeader)
        return closeWith(&handle, "testMode ClosePort DATA_SIZE_ERROR\n", DATA_SIZE_ERROR);
    buffer[0] = status;
    buffer[1] = lengthField[0];
    buffer[2] = lengthField[1];
    if (length != 0)
        std::memcpy(buffer + kStoredHeader, report.data(), length);
    ClosePort(&handle);
    traceText("testMode ClosePort no error\n");
    return -static_cast<int>(length + kStoredHeader);
}

} // namespace rdrload
