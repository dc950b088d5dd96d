#pragma once

#include "PortScoutFunctions.h"
#include "ProgressReporter.h"
#include "api/rdrload.h"
#include "link/SerialLink.h"

#include <cstdint>

namespace rdrload {

// One firmware download to a reader whose download listener is running.
//
// Exchange (57600 baud): double break -> ACK; '0' -> ACK; then the reader
// either stays silent for 5 s (it takes the transfer) or sends 'f': it is
// restarting into its firmware loader, and after five seconds it is looked
// for again at the same USB hub position through the PortScout helper,
// possibly under another COM number, and the handshake starts over (at most
// kMaxRestarts times). The header segments follow (256 + 2048 bytes for
// layout type 0x0200, else 256 + 256 + 261 bytes), then the body with an
// acknowledgement after every 64 KB and after its last block, then the
// acknowledgement of the signature check.
//
// Results: 0; 10 before the port is opened (helper missing or incomplete,
// no image, image shorter than its header part, failed header test); the
// opening's result; 1 when the request byte cannot be written; 8 for a failed
// write, an unexpected answer to the request or too many restarts; what a
// failed acknowledgement returned (2, 6, 8, 18).
class FirmwareDownload {
public:
    static constexpr int kMaxRestarts = 10;

    // `helper` is the PortScout library as loaded for this call.
    FirmwareDownload(const PortScoutLookup &helper, ProgressCallback callback);
    FirmwareDownload(const FirmwareDownload &) = delete;
    FirmwareDownload &operator=(const FirmwareDownload &) = delete;

    // The header test is made when `checkHeader` equals 1.
    int run(const uint8_t *image, unsigned long length, uint8_t port, int checkHeader);

private:
    enum class Answer { Accepted, Restarting, Refused };

    void locateReader(uint8_t port);
    int openAndRequest(uint8_t port);
    Answer awaitRestartAnnouncement();
    uint8_t findReaderAfterRestart(uint8_t port);
    int sendHeader(const uint8_t *image, bool longHeader);
    int sendSegment(const uint8_t *segment, unsigned long size, const char *failureTrace);
    int sendBody(const uint8_t *image, unsigned long length, unsigned long offset);
    int awaitSignature();

    const PortScoutLookup &helper_;
    ProgressCallback callback_;
    ProgressReporter *progress_ = nullptr;
    PortHandle handle_ = nullptr;
    int32_t hub_ = 0;
    int32_t hubPort_ = 0;
};

} // namespace rdrload
