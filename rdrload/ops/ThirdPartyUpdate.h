#pragma once

#include "ProgressReporter.h"
#include "api/rdrload.h"
#include "link/SerialLink.h"

#include <cstddef>
#include <cstdint>

namespace rdrload {

// Transfers a third-party update package to the reader on one COM port.
//
// The host wakes the reader, asks with the request byte '2' and announces
// the package length; the reader answers with a decision byte (0 takes the
// package, any other value refuses it and is the reason), which the host
// acknowledges. A taken package follows an initial packet as numbered
// packets of up to 8192 bytes, each announced by a header, and a closure
// packet ends it. Every frame the host sends waits for the reader's ACK.
// Numbers on the wire are 32-bit little-endian.
//
// run() returns 0 on success, a result code, or 0xFF000000 plus the
// reader's reason byte (a negative int) when the reader refuses. A package
// the wire cannot announce (2^32 bytes or more) or a null package with a
// length returns 10 before the port is opened. Once opened, the port is
// closed on every path out. Progress: done and remaining stay 0 until the
// first packet is written; the data reports and the final report follow the
// report threshold.
class ThirdPartyUpdate {
public:
    static constexpr uint32_t kBaudRate = 57600;
    static constexpr uint8_t kRequest = '2';
    static constexpr std::size_t kFrameSize = 8;
    static constexpr uint32_t kMaxPacket = 8192;
    static constexpr std::size_t kPieceSize = 256;
    static constexpr uint32_t kPiecePauseMs = 5;

    ThirdPartyUpdate(const unsigned char *package, unsigned long length, int port,
                     ProgressCallback callback);
    ThirdPartyUpdate(const ThirdPartyUpdate &) = delete;
    ThirdPartyUpdate &operator=(const ThirdPartyUpdate &) = delete;

    int run();

private:
    // Each step returns 0 to go on, or the operation's result with the
    // port closed.
    int wakeAndAsk();
    int announce();
    int awaitDecision();
    int sendInitialPacket();
    int sendPackets();
    int sendPacket(uint32_t sequence, const unsigned char *chunk, uint32_t length);
    int sendPieces(const unsigned char *chunk, uint32_t length);
    int finish();

    // Closes the port, writes the trace and hands back `result`.
    int fail(const char *trace, int result);

    const unsigned char *package_;
    unsigned long length_;
    int port_;
    ProgressReporter progress_;
    PortHandle handle_ = nullptr;
};

} // namespace rdrload
