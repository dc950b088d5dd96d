#pragma once

#include "BootLoaderSim.h"
#include "DataExchanges.h"
#include "DownloadListener.h"
#include "UpdateReceiver.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace readersim {

using Bytes = std::vector<uint8_t>;

// How the simulated reader behaves where a test wants it to misbehave.
struct ReaderBehaviour {
    // The answer to the double break: a byte (ACK by default), or -1 for
    // silence.
    int wakeAnswer = 0x06;
    // How long the host must stay quiet after opening the port before the
    // reader takes the double break as given. A pty carries no break, so
    // the end of this quiet time stands for it.
    uint32_t quietMs = 150;
    // The data exchanges: uploads, downloads, test mode.
    DataBehaviour data;
    // The update receiver's answers and output file.
    UpdateBehaviour update;
    // Set: the reader is in boot mode and its boot loader (BootLoaderSim)
    // answers instead of everything below.
    std::optional<BootLoaderOptions> bootLoader;
};

// The reader's protocol, apart from any transport: the transport reports
// what the host does and sends what takeOutput() hands back.
//
// Exchanges served:
//   double break            -> the wake answer (ACK)
//   'L', length (2 bytes little-endian), data
//                           -> ACK after 'L', ACK after the length, then the
//                              data echoed back unchanged (a loopback for
//                              testing the line itself)
//   '6', '5', 'T'           -> the data exchanges (DataExchanges)
//   '2' and what follows    -> an update package transfer (UpdateReceiver)
//   '1' or '0'              -> an application or firmware download, served
//                              by the DownloadListener when one is set
//   ACK from the host       -> nothing
//   any other request byte  -> NAK
class ReaderEngine {
public:
    using Journal = std::function<void(const std::string &line)>;

    explicit ReaderEngine(ReaderBehaviour behaviour, Journal journal = nullptr);

    void hostOpened();
    void hostClosed();
    // The host has been quiet for behaviour().quietMs since it opened.
    void quietTimeElapsed();
    void received(const Bytes &bytes);
    // What the reader sends now (empty when nothing).
    Bytes takeOutput();

    // Serves download requests with `listener` (not owned; null: NAK).
    void setDownloadListener(DownloadListener *listener) { download_ = listener; }
    // The host has been quiet for the listener's end-of-data time.
    bool awaitingEndOfData() const;
    void dataEnded();

    // Whether the transport should time the quiet after an opening; bytes
    // from the host restart that time.
    bool awaitingQuiet() const { return state_ == State::AwaitingBreak; }
    const ReaderBehaviour &behaviour() const { return behaviour_; }

    static constexpr uint8_t kAck = 0x06;
    static constexpr uint8_t kNak = 0x15;
    static constexpr uint8_t kLoopbackRequest = 'L';

private:
    enum class State {
        Closed,
        AwaitingBreak,
        Asleep,
        Idle,
        LoopbackLength,
        LoopbackData,
        Data,
        Update,
        Downloading
    };

    void receivedByte(uint8_t byte);
    void send(const Bytes &bytes);
    void note(const std::string &line);

    ReaderBehaviour behaviour_;
    Journal journal_;
    State state_ = State::Closed;
    Bytes output_;
    Bytes lengthBytes_;
    std::size_t loopbackLeft_ = 0;
    Bytes loopback_;
    DataExchanges data_;
    UpdateReceiver update_;
    std::unique_ptr<BootLoaderSim> bootLoader_;
    DownloadListener *download_ = nullptr;
};

// "41 42 0d" for the journal.
std::string hexBytes(const Bytes &bytes);

} // namespace readersim
