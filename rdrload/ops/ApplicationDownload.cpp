#include "ApplicationDownload.h"

#include "PortTransfers.h"
#include "ProgressReporter.h"
#include "link/LinkTrace.h"
#include "link/SerialLink.h"

#include <algorithm>

namespace rdrload {

namespace {

constexpr uint32_t kBaudRate = 57600;
constexpr uint32_t kAckWaitMs = 10000;
constexpr uint8_t kApplicationRequest = '1';
constexpr unsigned long kHeaderMarkOffset = 136;
constexpr uint8_t kHeaderMark = 0x20;

const char *const kClosed = "ApplicationDL ClosePort \n";

// The image itself is tested only as far as it reaches: a short image
// cannot carry the mark.
bool passesHeaderTest(const uint8_t *image, unsigned long length)
{
    return image != nullptr && length > kHeaderMarkOffset &&
           image[kHeaderMarkOffset] == kHeaderMark;
}

} // namespace

const ApplicationDownload::Pace ApplicationDownload::kNormal{128, 2, 4, 512, 0, 180000};
const ApplicationDownload::Pace ApplicationDownload::kSlow{64, 4, 8, 1024, 16, 60000};

int ApplicationDownload::run(const uint8_t *image, unsigned long length, uint8_t port,
                             int checkHeader, ProgressCallback callback) const
{
    if (checkHeader != 0 && !passesHeaderTest(image, length))
        return PARAMETER_ERROR;
    // Nothing to send from: refused before the reader is woken for it.
    if (image == nullptr && length > 0)
        return PARAMETER_ERROR;

    ProgressReporter progress(callback, 0, 0);
    progress.report("Open Serial port");
    PortHandle handle = nullptr;
    if (int result = OpenPort(port, &handle, kBaudRate))
        return result;
    traceText("ApplicationDL OpenPort \n");
    SendDoubleBreak(handle);
    if (CheckACK(&handle, kAckWaitMs) != 0)
        return OPEN_COM_PORT;

    if (!writeWhole(handle, &kApplicationRequest, 1)) {
        ClosePort(&handle);
        traceText(kClosed);
        return OTHER_ERROR;
    }
    progress.report("Waiting ACK before sending application");
    if (CheckACK(&handle, kAckWaitMs) != 0)
        return OPEN_COM_PORT;

    unsigned long sent = 0;
    uint32_t blocks = 0;
    uint32_t blocksSince64K = 0;
    while (sent < length) {
        if (pace_.pauseEvery != 0 && blocks % pace_.pauseEvery == 0)
            SleepMs(1);
        const std::size_t size = std::min<unsigned long>(pace_.blockSize, length - sent);
        if (!writeWhole(handle, image + sent, size)) {
            ClosePort(&handle);
            traceText(kClosed);
            return NACK_ERROR;
        }
        sent += size;
        ++blocks;
        ++blocksSince64K;
        if (blocks == pace_.firstAckBlock || blocks == pace_.secondAckBlock) {
            if (int result = CheckACK(&handle, kAckWaitMs))
                return result;
            blocksSince64K = 0;
        }
        const unsigned long left = length - sent;
        progress.setCounts(static_cast<uint32_t>(sent), static_cast<uint32_t>(left));
        progress.reportData("Data transfer...");
        if (blocksSince64K == pace_.blocksPer64K) {
            blocksSince64K = 0;
            progress.reportData("Waiting for 64 Kb ACK");
            if (int result = CheckACK(&handle, kAckWaitMs))
                return result;
            progress.reportData("64 Kb -> OK");
        } else if (left == 0) {
            if (int result = CheckACK(&handle, kAckWaitMs))
                return result;
        }
    }

    progress.report("Signature checking and application install");
    if (CheckACK(&handle, pace_.signatureWaitMs) != 0)
        return SIGNATURE_ERROR;
    progress.report("Signature OK");
    ClosePort(&handle);
    traceText(kClosed);
    progress.report("Application transfer successful");
    return 0;
}

} // namespace rdrload
