#include "FirmLoader.h"

#include "link/LinkTrace.h"

#include <algorithm>
#include <string>
#include <utility>

namespace rdrload {

namespace {

constexpr uint32_t kSyncBaudRate = 9600;
constexpr uint32_t kTransferBaudRate = 115200;
constexpr uint32_t kReadTimeoutMs = 1000;
constexpr uint32_t kFlashAckTimeoutMs = 30000;
constexpr uint32_t kResetHoldMs = 200;
constexpr uint32_t kBootStartMs = 1000;
constexpr uint32_t kLaunchMs = 100;

constexpr std::size_t kConfigRecord = 30;
constexpr std::size_t kBootRecord = 30;
constexpr std::size_t kImageRecord = 16;
constexpr std::size_t kIdentifierRecord = 16;
// The ten register records count as eight in the progress.
constexpr uint32_t kRegisterProgress = 8;

struct RegisterWrite {
    uint32_t address;
    uint32_t value;
    // Goes to the address the previous record left, not to its own.
    bool followsPrevious;
};

// Clocks and bus first, then the SDRAM from the third record on.
constexpr RegisterWrite kRegisterWrites[] = {
    {0x00220008, 0x000C0000, false}, {0x0022000C, 0x01050202, false},
    {0x00221004, 0x00031191, false}, {0x0C100000, 0x0000100C, false},
    {0x00221004, 0x000311A1, false}, {0x0C000000, 0x0000000C, false},
    {0x0C000004, 0x0000000C, true},  {0x00221004, 0x000311B1, false},
    {0x0C088C00, 0x008C080C, false}, {0x00221004, 0x67921181, false},
};
constexpr std::size_t kSdramRecordsFrom = 2;

const char *const kConnecting = "Connecting...";
const char *const kRecordFailure = "Send b-record failure...";

bool fileIsReadable(const uint8_t *data, int length)
{
    return length >= 0 && (length == 0 || data != nullptr);
}

// Whether `length` bytes from `address` stay below the top of the 32-bit
// address space, so that no record address wraps round to 0.
bool fitsInAddressSpace(uint32_t address, uint64_t length)
{
    return address + length <= (uint64_t{1} << 32);
}

} // namespace

FirmLoader::FirmLoader(const FirmLoaderRequest &request)
    : request_(request),
      progress_(request.callback, 0,
                static_cast<uint32_t>(request.configLength) +
                    static_cast<uint32_t>(request.bootLength) +
                    static_cast<uint32_t>(request.imageLength) + kRegisterProgress)
{
}

int FirmLoader::run()
{
    if (!requestIsSendable())
        return PARAMETER_ERROR;
    progress_.report(kConnecting);
    int result = openAndSynchronise();
    if (result != 0)
        return result;

    sendRegisters();
    countSent(kRegisterProgress);
    progress_.report(kConnecting);

    traceText("FirmLoaderDL Send configuration file\n");
    address_ = request_.loadAddress;
    sendFile(request_.config, request_.configLength, kConfigRecord, "Transfering config file...",
             kConfigFile);

    // The configuration runs from here and takes the line at the faster rate.
    traceText("FirmLoaderDL Launch execution\n");
    address_ = request_.loadAddress;
    sendCommand(true);
    SleepMs(kLaunchMs);
    result = ChangeBaudRate(handle_, kTransferBaudRate);
    if (result != 0)
        return result;

    traceText("FirmLoaderDL Send boot\n");
    address_ = request_.loadAddress;
    sendFile(request_.boot, request_.bootLength, kBootRecord, "Transfering boot file...",
             kBootFile);
    traceText("FirmLoaderDL Send image file\n");
    address_ = request_.imageAddress;
    sendFile(request_.image, request_.imageLength, kImageRecord, "Transfering image file...",
             kImageFile);
    fillImageArea();
    sendIdentifier();

    traceText("FirmLoaderDL Execute flashing\n");
    address_ = request_.loadAddress;
    sendCommand(false);
    progress_.report("Waiting...");
    result = CheckACK(&handle_, kFlashAckTimeoutMs);
    if (result != 0)
        return result;
    return finish();
}

bool FirmLoader::requestIsSendable() const
{
    // An image reaching past 0x7FE0 would overwrite the identifier block.
    return fileIsReadable(request_.config, request_.configLength) &&
           fileIsReadable(request_.boot, request_.bootLength) &&
           fileIsReadable(request_.image, request_.imageLength) &&
           request_.imageLength <= static_cast<int>(kIdentifierOffset) &&
           request_.productId != nullptr &&
           fitsInAddressSpace(request_.imageAddress, kImageAreaLength) &&
           fitsInAddressSpace(request_.loadAddress, static_cast<uint64_t>(request_.configLength)) &&
           fitsInAddressSpace(request_.loadAddress, static_cast<uint64_t>(request_.bootLength));
}

int FirmLoader::openAndSynchronise()
{
    traceText("FirmLoaderDL OpenPort");
    int result = OpenPort(request_.port, &handle_, kSyncBaudRate);
    if (result != 0) {
        traceText(" - ERRROR\n");
        return result;
    }
    traceText(" - OK\n");
    traceText("FirmLoaderDL SetReadTimeout");
    result = SetReadTimeout(handle_, kReadTimeoutMs);
    if (result != 0) {
        ClosePort(&handle_);
        traceText(" - ERRROR\n");
        return result;
    }
    traceText(" - OK\n");
    resetIntoBootMode();
    if (!link_.exchangeCharacter('A', ':')) {
        ClosePort(&handle_);
        traceText("FirmLoaderDL ClosePort \n");
        return TIMEOUT_ERROR;
    }
    PurgePort(handle_, kPurgeAll);
    return 0;
}

void FirmLoader::resetIntoBootMode()
{
    traceText("FirmLoaderDL set Reset\n");
    SetRTS(0, handle_);
    traceText("FirmLoaderDL set Boot\n");
    SetDTR(0, handle_);
    SleepMs(kResetHoldMs);
    // Out of reset with boot mode still selected: the boot loader starts.
    traceText("FirmLoaderDL end Reset\n");
    SetRTS(1, handle_);
    SleepMs(kBootStartMs);
}

void FirmLoader::sendRegisters()
{
    traceText("FirmLoaderDL Start BRecord Sending \n");
    for (std::size_t i = 0; i < std::size(kRegisterWrites); ++i) {
        const RegisterWrite &write = kRegisterWrites[i];
        if (i == kSdramRecordsFrom)
            traceText("FirmLoaderDL Initalize SDRAM\n");
        if (!write.followsPrevious)
            address_ = write.address;
        const uint8_t value[4] = {
            static_cast<uint8_t>(write.value), static_cast<uint8_t>(write.value >> 8),
            static_cast<uint8_t>(write.value >> 16), static_cast<uint8_t>(write.value >> 24)};
        sendBulk(value, sizeof value, BootRecordLink::kRegisterFlags);
    }
}

void FirmLoader::sendFile(const uint8_t *data, int length, std::size_t recordSize, const char *text,
                          Part part)
{
    const auto total = static_cast<std::size_t>(length);
    for (std::size_t offset = 0; offset < total;) {
        const std::size_t count = std::min(recordSize, total - offset);
        if (!sendBulk(data + offset, count)) {
            failedParts_ |= part;
            progress_.report(kRecordFailure);
            return;
        }
        offset += count;
        countSent(static_cast<uint32_t>(count));
        progress_.report(text);
    }
}

void FirmLoader::fillImageArea()
{
    const uint32_t end = request_.imageAddress + kIdentifierOffset;
    const uint8_t fill = 0xFF;
    int failuresInARow = 0;
    while (address_ < end) {
        if (sendBulk(&fill, 1)) {
            failuresInARow = 0;
        } else if (++failuresInARow == kFillFailureLimit) {
            // A failed fill record is sent again at the same address; only a
            // fill that gives up leaves the area incomplete.
            failedParts_ |= kFill;
            progress_.report(kRecordFailure);
            return;
        }
    }
}

void FirmLoader::sendIdentifier()
{
    traceText("FirmLoaderDL Write PID\n");
    address_ = request_.imageAddress + kIdentifierOffset;
    // Both halves go out whatever happens; a failed first one leaves the
    // address where it was, so the second lands there in its place.
    const bool first = sendBulk(request_.productId, kIdentifierRecord);
    const bool second =
        sendBulk(request_.productId + kIdentifierRecord, kIdentifierLength - kIdentifierRecord);
    if (!first || !second)
        failedParts_ |= kIdentifier;
}

int FirmLoader::finish()
{
    traceText("FirmLoaderDL unset Boot\n");
    SetDTR(1, handle_);
    SleepMs(kResetHoldMs);
    traceText("FirmLoaderDL Reset\n");
    SetRTS(0, handle_);
    PurgePort(handle_, kPurgeAll);
    ClosePort(&handle_);
    traceText("FirmLoaderDL End\n");
    if (failedParts_ != 0) {
        // The reader flashed what it got, which is not the image asked for.
        std::string names;
        const std::pair<Part, const char *> parts[] = {{kConfigFile, "configuration file"},
                                                       {kBootFile, "boot file"},
                                                       {kImageFile, "image file"},
                                                       {kFill, "fill"},
                                                       {kIdentifier, "identifier"}};
        for (const auto &[part, name] : parts) {
            if ((failedParts_ & part) != 0)
                names += (names.empty() ? "" : ", ") + std::string(name);
        }
        traceText(("FirmLoaderDL Failed records: " + names + "\n").c_str());
        progress_.report(kRecordFailure);
        return OTHER_ERROR;
    }
    progress_.report("Success");
    return 0;
}

bool FirmLoader::sendBulk(const uint8_t *data, std::size_t length, uint8_t flags)
{
    if (!link_.sendBulk(BootRecordLink::format(address_, data, length, flags)))
        return false;
    address_ += static_cast<uint32_t>(length);
    return true;
}

bool FirmLoader::sendCommand(bool echoMode)
{
    const std::string line = BootRecordLink::format(address_, nullptr, 0, 0);
    return echoMode ? link_.sendEcho(line) : link_.sendBulk(line);
}

void FirmLoader::countSent(uint32_t bytes)
{
    progress_.setCounts(progress_.done() + bytes, progress_.remaining() - bytes);
}

} // namespace rdrload
