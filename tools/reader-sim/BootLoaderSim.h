#pragma once

#include "BootLoaderMemory.h"
#include "BootRecordParser.h"

#include <cstdint>
#include <functional>
#include <string>

namespace readersim {

// How the simulated boot loader behaves, and where it leaves what it got.
struct BootLoaderOptions {
    // The 32 KB area the image, its fill and the identifier block go to.
    uint32_t imageAddress = 0x00400000;
    // The answer to 'A': ':' by default, another byte, or -1 for silence.
    int syncAnswer = ':';
    // Record numbers (1 for the first record after an opening, counting
    // every record) whose echo and acknowledgement are lost (the record is
    // not kept either), or whose acknowledgement alone is lost; 0: none.
    unsigned long loseEchoAt = 0;
    unsigned long loseAckAt = 0;
    // Fill records (one 0xFF byte in the image area) are echoed but neither
    // kept nor acknowledged.
    bool failFill = false;
    enum class FlashAnswer {
        Checked, // ACK when the image area can be flashed, else NAK
        Ack,     // ACK whatever the area holds: a reader that does not check
        Nak,
        Silent
    };
    FlashAnswer flashAnswer = FlashAnswer::Checked;
    // Where the files of BootLoaderMemory::writeFiles go at the flash
    // command; empty: nowhere.
    std::string outputFolder;
};

// A reader's boot loader, apart from any transport. Every opening of the
// port stands for the host holding the reader in reset with boot mode
// selected (a pty carries no modem lines), so the loader starts afresh:
//
//   'A'                  -> ':' (synchronised; other bytes before are ignored)
//   each record character -> echoed as it arrives
//   record with data      -> ACK after its echo; kept (register writes apart)
//   record without data   -> first one: the launch command; the program then
//                            receives the records. Next one: the flash
//                            command; the image area is checked, the files
//                            are written, and ACK (NAK or silence) follows.
class BootLoaderSim {
public:
    using Journal = std::function<void(const std::string &line)>;

    explicit BootLoaderSim(BootLoaderOptions options, Journal journal = nullptr);

    void hostOpened();
    void hostClosed();
    void received(const Bytes &bytes);
    // What the loader sends now (empty when nothing).
    Bytes takeOutput();

    const BootLoaderMemory &memory() const { return memory_; }
    bool launched() const { return phase_ == Phase::Program; }

    static constexpr uint8_t kSyncRequest = 'A';
    static constexpr uint8_t kAck = 0x06;
    static constexpr uint8_t kNak = 0x15;

private:
    enum class Phase { Closed, AwaitingSync, BootLoader, Program };

    void receivedByte(uint8_t byte);
    void recordCharacter(uint8_t byte);
    void handleRecord(const BootRecord &record);
    void keepData(const BootRecord &record);
    void launch(uint32_t address);
    void flash(uint32_t address);
    bool isFill(const BootRecord &record) const;
    void send(uint8_t byte) { output_.push_back(byte); }
    void note(const std::string &line);

    BootLoaderOptions options_;
    Journal journal_;
    Phase phase_ = Phase::Closed;
    BootRecordParser parser_;
    BootLoaderMemory memory_;
    unsigned long recordNumber_ = 0;
    bool recordLost_ = false;
    Bytes output_;
};

} // namespace readersim
