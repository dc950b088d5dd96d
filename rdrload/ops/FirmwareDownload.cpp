#include "FirmwareDownload.h"

#include "PortTransfers.h"
#include "link/LinkTrace.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace rdrload {

namespace {

constexpr uint32_t kBaudRate = 57600;
constexpr uint32_t kAckWaitMs = 10000;
constexpr uint32_t kRequestAckWaitMs = 5000;
constexpr uint32_t kSecondSegmentAckMs = 1000;
constexpr uint32_t kHeaderAckWaitMs = 60000;
constexpr uint32_t kSignatureWaitMs = 50000;
constexpr uint8_t kFirmwareRequest = '0';
constexpr uint8_t kRestarting = 'f';
constexpr std::size_t kBlockSize = 128;
constexpr uint32_t kBlocksPer64K = 512;

constexpr unsigned long kHeaderMarkOffset = 136;
constexpr uint8_t kHeaderMark = 0x20;
constexpr unsigned long kLayoutOffset = 64;
constexpr uint16_t kLongLayout = 0x0200;
constexpr unsigned long kSegment1 = 256;
constexpr unsigned long kLongSegment2 = 2048;
constexpr unsigned long kShortSegment2 = 256;
constexpr unsigned long kShortSegment3 = 261;

// The helper's text buffers: 400 and 200 bytes.
constexpr std::size_t kIdentifierChars = 400 / sizeof(wchar_t);
constexpr std::size_t kComNameChars = 200 / sizeof(wchar_t);

// A helper's wide text for the trace, read only up to the buffer's end
// (the helper may have left it unterminated); characters beyond ASCII
// become '?'.
template <std::size_t N> std::string narrow(const wchar_t (&text)[N])
{
    std::string out;
    for (std::size_t i = 0; i < N && text[i] != L'\0'; ++i)
        out += (text[i] > 0 && text[i] < 0x80) ? static_cast<char>(text[i]) : '?';
    return out;
}

unsigned long headerLength(const uint8_t *image)
{
    const uint16_t layout =
        static_cast<uint16_t>(image[kLayoutOffset] | (image[kLayoutOffset + 1] << 8));
    return layout == kLongLayout ? kSegment1 + kLongSegment2
                                 : kSegment1 + kShortSegment2 + kShortSegment3;
}

// The report and trace of a failed signature acknowledgement, by result.
struct SignatureFailure {
    const char *report;
    const char *trace;
};

SignatureFailure signatureFailure(int result)
{
    switch (result) {
    case COM_ERROR:
        return {"Signature Com Error", "COM ERROR\n"};
    case TIMEOUT_ERROR:
        return {"Signature Timeout Error", "TIMEOUT ERROR\n"};
    case NACK_ERROR:
        return {"Signature NAK Error", "NACK RECEIVED\n"};
    case OTHER_ERROR:
        return {"Signature Other Error", "OTHER ERROR\n"};
    default:
        return {"Signature Error", "UNKNOWN ERROR\n"};
    }
}

} // namespace

FirmwareDownload::FirmwareDownload(const PortScoutLookup &helper, ProgressCallback callback)
    : helper_(helper), callback_(callback)
{
}

int FirmwareDownload::run(const uint8_t *image, unsigned long length, uint8_t port, int checkHeader)
{
    if (helper_.status == PortScoutLookup::Status::NoLibrary) {
        traceText("Can't load PortScout.dll\n");
        return PARAMETER_ERROR;
    }
    if (helper_.status == PortScoutLookup::Status::MissingFunction) {
        traceFormat("Can't find %s in PortScout.dll\n", helper_.missing.c_str());
        return PARAMETER_ERROR;
    }
    locateReader(port);

    if (image == nullptr)
        return PARAMETER_ERROR;
    // The layout type must be readable and the whole header part present:
    // it is sent as it stands.
    if (length < kLayoutOffset + 2 || length < headerLength(image))
        return PARAMETER_ERROR;
    if (checkHeader == 1 && image[kHeaderMarkOffset] != kHeaderMark)
        return PARAMETER_ERROR;
    const bool longHeader = headerLength(image) == kSegment1 + kLongSegment2;

    ProgressReporter progress(callback_, 0, static_cast<uint32_t>(length));
    progress_ = &progress;
    progress.report("Waiting ACK\n");

    for (int restarts = 0;; ++restarts) {
        if (int result = openAndRequest(port))
            return result;
        const Answer answer = awaitRestartAnnouncement();
        if (answer == Answer::Accepted)
            break;
        if (answer == Answer::Refused) {
            ClosePort(&handle_);
            traceText("FirmwareDL ClosePort 'f' not received\n");
            return NACK_ERROR;
        }
        if (restarts == kMaxRestarts) {
            // A reader stuck in its restart would hold the caller for ever.
            ClosePort(&handle_);
            traceFormat("FirmwareDL ClosePort 'f' received again after %d restarts\n",
                        kMaxRestarts);
            return NACK_ERROR;
        }
        ClosePort(&handle_);
        traceText("FirmwareDL ClosePort 'f' received\n");
        port = findReaderAfterRestart(port);
    }

    traceText("FirmwareDL accepted\n");
    progress.report("Transfer accepted\n");
    if (int result = sendHeader(image, longHeader))
        return result;
    if (int result = sendBody(image, length, headerLength(image)))
        return result;
    return awaitSignature();
}

void FirmwareDownload::locateReader(uint8_t port)
{
    wchar_t identifier[kIdentifierChars] = {};
    const int found = helper_.functions.driverByCom(port, identifier);
    traceFormat("FirmWareDL COM%d -> %s (ret=%d)", port, narrow(identifier).c_str(), found);
    identifier[kIdentifierChars - 1] = L'\0'; // the helper reads it back
    const int placed = helper_.functions.positionByDriver(identifier, &hub_, &hubPort_);
    hub_ &= 0xff;
    hubPort_ &= 0xff;
    traceFormat("FirmWareDL %s -> Hub %d Port %d (ret=%d)", narrow(identifier).c_str(), hub_,
                hubPort_, placed);
}

int FirmwareDownload::openAndRequest(uint8_t port)
{
    if (int result = OpenPort(port, &handle_, kBaudRate)) {
        traceText("FirmwareDL OpenPort Error\n");
        return result;
    }
    traceText("FirmwareDL OpenPort \n");
    SendDoubleBreak(handle_);
    if (int result = CheckACK(&handle_, kAckWaitMs)) {
        traceText("FirmwareDL CheckAck Error 1\n");
        return result;
    }
    traceText("FirmwareDL Ack 1\n");
    progress_->report("Sending FW download request\n");
    if (!writeWhole(handle_, &kFirmwareRequest, 1)) {
        ClosePort(&handle_);
        traceText("FirmwareDL ClosePort Error OPEN_COM_PORT\n");
        return OPEN_COM_PORT;
    }
    if (int result = CheckACK(&handle_, kRequestAckWaitMs)) {
        traceText("FirmwareDL CheckAck Error 2\n");
        return result;
    }
    traceText("FirmwareDL Ack 2\n");
    return 0;
}

FirmwareDownload::Answer FirmwareDownload::awaitRestartAnnouncement()
{
    // The read waits as long as the request's acknowledgement could (5 s).
    SleepMs(10);
    uint8_t byte = 0;
    std::size_t received = 0;
    if (!ReadPort(handle_, &byte, 1, &received) || received == 0)
        return Answer::Accepted;
    return byte == kRestarting ? Answer::Restarting : Answer::Refused;
}

uint8_t FirmwareDownload::findReaderAfterRestart(uint8_t port)
{
    for (int second = 10; second > 5; --second) {
        progress_->report(second == 10  ? "Waiting reset 10\n"
                          : second == 9 ? "Waiting reset 9\n"
                          : second == 8 ? "Waiting reset 8\n"
                          : second == 7 ? "Waiting reset 7\n"
                                        : "Waiting reset 6\n");
        SleepMs(1000);
    }
    progress_->report("Waiting reset 5\n");

    wchar_t identifier[kIdentifierChars] = {};
    const int found = helper_.functions.driverByPosition(hub_, hubPort_, identifier);
    traceFormat("FirmWareDL Hub %d Port %d -> %s (ret=%d)", hub_, hubPort_,
                narrow(identifier).c_str(), found);
    if (found != 0)
        return port;
    identifier[kIdentifierChars - 1] = L'\0';
    wchar_t comName[kComNameChars] = {};
    const int named = helper_.functions.comByDriver(identifier, comName);
    const std::string name = narrow(comName);
    traceFormat("FirmWareDL  %s -> %s (ret=%d)", narrow(identifier).c_str(), name.c_str(), named);
    if (named != 0)
        return port;
    // "COM<n>": the number after the first three characters, low 8 bits.
    const long number = name.size() > 3 ? std::strtol(name.c_str() + 3, nullptr, 10) : 0;
    port = static_cast<uint8_t>(number & 0xff);
    traceFormat("** Reader is now on COM %d \n", port);
    return port;
}

int FirmwareDownload::sendSegment(const uint8_t *segment, unsigned long size,
                                  const char *failureTrace)
{
    for (unsigned long sent = 0; sent < size; sent += kBlockSize) {
        const std::size_t block = std::min<unsigned long>(kBlockSize, size - sent);
        if (!writeWhole(handle_, segment + sent, block)) {
            ClosePort(&handle_);
            traceText(failureTrace);
            return NACK_ERROR;
        }
    }
    return 0;
}

int FirmwareDownload::sendHeader(const uint8_t *image, bool longHeader)
{
    if (int result = sendSegment(image, kSegment1, "FirmwareDL ClosePort Error Writing 1\n"))
        return result;
    if (int result = CheckACK(&handle_, kAckWaitMs)) {
        traceText("FirmwareDL CheckAck Error 3\n");
        return result;
    }
    const uint8_t *segment2 = image + kSegment1;
    if (longHeader) {
        if (int result =
                sendSegment(segment2, kLongSegment2, "FirmwareDL ClosePort Error Writing 4\n"))
            return result;
    } else {
        if (int result =
                sendSegment(segment2, kShortSegment2, "FirmwareDL ClosePort Error Writing 2\n"))
            return result;
        if (int result = CheckACK(&handle_, kSecondSegmentAckMs)) {
            traceText("FirmwareDL CheckAck Error 4\n");
            return result;
        }
        if (int result = sendSegment(segment2 + kShortSegment2, kShortSegment3,
                                     "FirmwareDL ClosePort Error Writing 3\n"))
            return result;
    }
    if (int result = CheckACK(&handle_, kHeaderAckWaitMs)) {
        traceText("FirmwareDL CheckAck Error 5\n");
        return result;
    }
    return 0;
}

int FirmwareDownload::sendBody(const uint8_t *image, unsigned long length, unsigned long offset)
{
    ProgressReporter &progress = *progress_;
    uint32_t blocks = 0;
    unsigned long sent = offset;
    while (sent < length) {
        const std::size_t size = std::min<unsigned long>(kBlockSize, length - sent);
        if (!writeWhole(handle_, image + sent, size)) {
            ClosePort(&handle_);
            traceText("FirmwareDL ClosePort Error Writing 5\n");
            return NACK_ERROR;
        }
        sent += size;
        ++blocks;
        const unsigned long left = length - sent;
        progress.setCounts(static_cast<uint32_t>(sent), static_cast<uint32_t>(left));
        progress.reportData("Data transfer...");
        if (blocks == kBlocksPer64K) {
            blocks = 0;
            traceText("Waiting for 64 KB ACK");
            progress.reportData("Waiting for 64 KB ACK");
            if (int result = CheckACK(&handle_, kAckWaitMs)) {
                traceText(" -- 64 KB ACK NOT received!\n");
                return result;
            }
            traceText(" -- OK\n");
            progress.reportData("64 KB ACK received!");
        } else if (left == 0) {
            traceText("Waiting last transmission ACK");
            progress.report("Waiting last transmission ACK");
            if (int result = CheckACK(&handle_, kAckWaitMs)) {
                traceText(" -- FirmwareDL CheckAck Error 6\n");
                return result;
            }
            traceText(" -- OK\n");
        }
    }
    return 0;
}

int FirmwareDownload::awaitSignature()
{
    ProgressReporter &progress = *progress_;
    traceText("Waiting for SIGNATURE ACK");
    progress.report("Waiting Signature ACK");
    const int result = CheckACK(&handle_, kSignatureWaitMs);
    if (result != 0) {
        traceText(" -- SIGNATURE NACK :");
        const SignatureFailure failure = signatureFailure(result);
        traceText(failure.trace);
        progress.report(failure.report);
        return result;
    }
    traceText(" -- OK\n");
    progress.report("Signature OK");
    ClosePort(&handle_);
    traceText("FirmwareDL ClosePort Normal \n");
    progress.report("Firmware transfer successful");
    // The reader installs and restarts before it may be addressed again.
    for (int i = 0; i < 5; ++i)
        SleepMs(1000);
    return 0;
}

} // namespace rdrload
