#include "PacketDownload.h"

#include "ApplicationDownload.h"
#include "FirmwareDownload.h"
#include "link/LinkTrace.h"
#include "link/SerialLink.h"

#include <cstdio>

namespace rdrload {

namespace {

constexpr uint32_t kBaudRate = 57600;
constexpr uint32_t kSettleMs = 2000;
constexpr uint32_t kAttemptPauseMs = 100;

uint32_t field(const uint8_t *packet, std::size_t offset)
{
    const uint8_t *at = packet + offset;
    return uint32_t{at[0]} | (uint32_t{at[1]} << 8) | (uint32_t{at[2]} << 16) |
           (uint32_t{at[3]} << 24);
}

struct Part {
    bool present;
    const uint8_t *data;
    uint32_t length;
};

// The part whose flag, offset and length fields start at `flagOffset`.
Part partAt(const uint8_t *packet, std::size_t flagOffset)
{
    const uint8_t *base = packet + 2;
    return Part{field(packet, flagOffset) == PacketDownload::kPartPresent,
                base + field(packet, flagOffset + 4), field(packet, flagOffset + 8)};
}

// After a firmware the reader restarts: its port comes back when it is up.
void waitForReaderPort(uint8_t port)
{
    for (int attempt = 0; attempt < PacketDownload::kPortAttempts; ++attempt) {
        PortHandle handle = nullptr;
        const int opened = OpenPort(port, &handle, kBaudRate);
        traceText("PacketDL OpenPort \n");
        if (opened == 0) {
            ClosePort(&handle);
            traceText("PacketDL ClosePort \n");
            return;
        }
        SleepMs(kAttemptPauseMs);
    }
}

// Hosts running the packet from a console show this line between the parts.
void announceApplication()
{
    std::fputs("Loading application\n", stdout);
    std::fflush(stdout);
}

} // namespace

int PacketDownload::run(const uint8_t *packet, uint8_t port, ProgressCallback callback) const
{
    if (packet == nullptr)
        return PARAMETER_ERROR;
    const Part application = partAt(packet, 2);
    const Part firmware = partAt(packet, 14);
    if (firmware.present) {
        const PortScoutLookup helper = loadHelper_();
        const int result =
            FirmwareDownload(helper, callback).run(firmware.data, firmware.length, port, 0);
        if (result != 0)
            return result;
    }
    if (!application.present)
        return 0;
    SleepMs(kSettleMs);
    waitForReaderPort(port);
    announceApplication();
    return ApplicationDownload(ApplicationDownload::kNormal)
        .run(application.data, application.length, port, 0, callback);
}

} // namespace rdrload
