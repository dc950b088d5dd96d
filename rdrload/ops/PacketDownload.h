#pragma once

#include "PortScoutFunctions.h"
#include "api/rdrload.h"

#include <cstdint>

namespace rdrload {

// Downloads a combined packet: its firmware (when the firmware flag is 2)
// as FirmwareDL_ does, then its application (when the application flag is
// 2) as ApplicationDL_ does, both without the header test. Between the two
// it waits 2 s and then for the reader's port (up to 100 openings, 100 ms
// apart), and tells standard output "Loading application\n".
//
// Packet header (little-endian 32-bit fields, offsets counted from byte 2
// of the packet): at 2 the application flag, 6 its offset, 10 its length;
// at 14 the firmware flag, 18 its offset, 22 its length.
//
// Returns 0 when the packet holds neither part, 10 for a null packet, else
// the result of the firmware download when it failed, else that of the
// application download.
class PacketDownload {
public:
    using HelperLoader = PortScoutLookup (*)();

    // `loadHelper` gives the PortScout helper when a firmware is sent.
    explicit PacketDownload(HelperLoader loadHelper) : loadHelper_(loadHelper) {}

    int run(const uint8_t *packet, uint8_t port, ProgressCallback callback) const;

    static constexpr uint32_t kPartPresent = 2;
    static constexpr int kPortAttempts = 100;

private:
    HelperLoader loadHelper_;
};

} // namespace rdrload
