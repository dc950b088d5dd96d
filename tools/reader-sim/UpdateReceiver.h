#pragma once

#include "UpdateBehaviour.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace readersim {

// The reader's side of an update package transfer, from the request byte
// '2' on. Frames (numbers 32-bit little-endian):
//   package information  0, length                 -> ACK, decision byte
//   host's ACK of the decision
//   initial packet       0, 0                      -> ACK
//   header               sequence, data length     -> ACK
//   data                 that many bytes           -> ACK
//   closure packet       0xFFFFFFFF, 0             -> ACK
// It checks that sequence numbers start at 1 and rise by one, that data
// lengths are 1 to 8192 and that they add up to the announced length; a
// frame that breaks a rule is answered with NAK and ends the transfer. Every
// frame and every broken rule is written to the journal ("update fault: ..."),
// and a transfer that keeps every rule ends with "update complete N bytes in
// P packets" after the package was written to the output file.
class UpdateReceiver {
public:
    using Bytes = std::vector<uint8_t>;
    using Journal = std::function<void(const std::string &line)>;

    static constexpr uint8_t kRequest = '2';
    static constexpr uint32_t kMaxPacket = 8192;

    UpdateReceiver(UpdateBehaviour behaviour, Journal journal);

    // The host sent the request byte: a new transfer starts, its ACK queued.
    void start();
    void received(uint8_t byte);
    // What the reader sends now (empty when nothing).
    Bytes takeOutput();
    // The transfer is over (completed or refused); the next byte is a request.
    bool finished() const { return phase_ == Phase::Finished; }

private:
    enum class Phase {
        Information,
        DecisionAck,
        RefusalAck,
        Initial,
        Header,
        Data,
        Failed,
        Finished
    };

    void frameComplete();
    void information();
    void hostAck(uint8_t byte);
    void initial();
    void headerOrClosure();
    void closure();
    void packetData();
    bool savePackage();
    void fault(const std::string &what);
    void answer(int byte);
    void note(const std::string &line);

    UpdateBehaviour behaviour_;
    Journal journal_;
    Phase phase_ = Phase::Finished;
    Bytes frame_;
    Bytes output_;
    Bytes package_;
    uint32_t announced_ = 0;
    uint32_t packets_ = 0;
    uint32_t dataLength_ = 0;
};

} // namespace readersim
