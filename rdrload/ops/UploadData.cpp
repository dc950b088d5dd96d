#include "UploadData.h"

#include "PortTransfers.h"
#include "ProgressReporter.h"
#include "link/LinkTrace.h"
#include "link/SerialLink.h"

#include <cstring>
#include <vector>

namespace rdrload {

namespace {

constexpr uint32_t kBaudRate = 57600;
constexpr uint8_t kUploadRequest = '6';
constexpr uint32_t kStepsTotal = 260;
constexpr uint32_t kStep = 20;
constexpr const char *kReportText = "UploadData\n";

// The 13 reports of an upload: each one a further step of 20 out of 260.
class UploadProgress {
public:
    explicit UploadProgress(ProgressCallback callback) : reporter_(callback, 20, kStepsTotal) {}
    void step()
    {
        reporter_.setDone(kStep * ++made_);
        reporter_.report(kReportText);
    }

private:
    ProgressReporter reporter_;
    uint32_t made_ = 0;
};

// One read, and when it fails or comes back short one more for the rest.
bool readData(PortHandle handle, std::vector<uint8_t> &data)
{
    std::size_t got = 0;
    bool ok = ReadPort(handle, data.data(), data.size(), &got);
    if (ok && got == data.size())
        return true;
    std::size_t more = 0;
    ok = ReadPort(handle, data.data() + got, data.size() - got, &more);
    return ok && got + more == data.size();
}

} // namespace

uint32_t uploadAnswerTimeout(char letter)
{
    switch (letter) {
    case 'R':
    case 'C':
    case 'E':
    case 'M':
    case 'J':
        return 20000;
    default:
        return 10000;
    }
}

int UploadData(unsigned char *buffer, char letter, int size, int port, ProgressCallback callback)
{
    if (buffer == nullptr)
        return NULL_BUFFER;
    UploadProgress progress(callback);
    SleepMs(2000);
    traceText("UploadData ");
    PortHandle handle = nullptr;
    if (int result = OpenPort(port, &handle, kBaudRate); result != 0)
        return closeWith(&handle, "UploadData ClosePort OpenPort\n", result);
    progress.step();
    SendDoubleBreak(handle);
    progress.step();
    if (int result = CheckACK(&handle, 10000); result != 0) {
        traceText("UploadData ClosePort CheckACK 1\n");
        return result;
    }
    progress.step();
    if (!writeByte(handle, kUploadRequest))
        return closeWith(&handle, "UploadData ClosePort TIMEOUT_ERROR 1\n", TIMEOUT_ERROR);
    progress.step();
    if (int result = CheckACK(&handle, 1000); result != 0) {
        traceText("UploadData ClosePort CheckACK 2\n");
        return result;
    }
    progress.step();
    if (!writeByte(handle, static_cast<uint8_t>(letter)))
        return closeWith(&handle, "UploadData ClosePort OTHER_ERROR\n", OTHER_ERROR);
    progress.step();
    const uint32_t answerMs = uploadAnswerTimeout(letter);
    progress.step();
    if (int result = CheckACK(&handle, answerMs); result != 0)
        return closeWith(&handle, "UploadData ClosePort CheckACK 3\n", result);
    progress.step();
    uint8_t lengthField[2] = {0, 0};
    std::size_t got = 0;
    if (!ReadPort(handle, lengthField, 2, &got) || got < 2)
        return closeWith(&handle, "UploadData ClosePort TIMEOUT_ERROR 2\n", TIMEOUT_ERROR);
    const std::size_t length = lengthField[0] | (lengthField[1] << 8);
    progress.step();
    if (Acknowledge(&handle) != 0)
        return closeWith(&handle, "UploadData ClosePort Acknowledge 1\n", WRITE_ERROR);
    progress.step();
    std::vector<uint8_t> data(length);
    if (!readData(handle, data))
        return closeWith(&handle, "UploadData ClosePort TIMEOUT_ERROR 3\n", TIMEOUT_ERROR);
    progress.step();
    if (Acknowledge(&handle) != 0)
        return closeWith(&handle, "UploadData ClosePort Acknowledge 2\n", WRITE_ERROR);
    progress.step();
    // Signed: a negative size holds no answer, not even an empty one.
    if (static_cast<long>(length) > static_cast<long>(size))
        return closeWith(&handle, "UploadData ClosePort DATA_SIZE_ERROR\n", DATA_SIZE_ERROR);
    if (length > 0)
        std::memcpy(buffer, data.data(), length);
    progress.step();
    ClosePort(&handle);
    traceText("UploadData ClosePort OK\n");
    return -static_cast<int>(length);
}

} // namespace rdrload
