#pragma once

#include "api/rdrload.h"

#include <cstdint>

namespace rdrload {

// Sends an application image to a reader whose download listener is running.
//
// Exchange (57600 baud): double break -> ACK; '1' -> ACK; the image in
// blocks, acknowledged after 256 bytes, after 512 bytes, after every further
// 64 KB and after the last block (unless that block ended at a 64 KB point);
// then one last ACK once the reader has checked the signature and installed
// the application. Results: 0, 1 (opening or the early handshake), 5 (no
// acknowledgement after the signature check), 8 (a failed data write), 10
// (no image or a failed header test), 18 (the request byte could not be
// written), or what a block acknowledgement returned (2, 6, 8, 18).
class ApplicationDownload {
public:
    // The pacing of one variant.
    struct Pace {
        uint32_t blockSize;       // bytes per write
        uint32_t firstAckBlock;   // blocks after which the reader acknowledges
        uint32_t secondAckBlock;  //   (256 and 512 bytes)
        uint32_t blocksPer64K;    // blocks between 64 KB acknowledgements
        uint32_t pauseEvery;      // 1 ms before every n-th block (0: never)
        uint32_t signatureWaitMs; // the wait for the install acknowledgement
    };

    // 128-byte blocks, no pauses, 180 s for the signature.
    static const Pace kNormal;
    // 64-byte blocks, 1 ms before the 1st and every 16th block after it,
    // 60 s for the signature.
    static const Pace kSlow;

    explicit ApplicationDownload(const Pace &pace) : pace_(pace) {}

    // Runs the whole download on COM port `port`; with `checkHeader`
    // non-zero the byte at offset 136 must be 0x20.
    int run(const uint8_t *image, unsigned long length, uint8_t port, int checkHeader,
            ProgressCallback callback) const;

private:
    Pace pace_;
};

} // namespace rdrload
