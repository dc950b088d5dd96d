#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace readersim {

using Bytes = std::vector<uint8_t>;

// How the download listener answers, and where it misbehaves on demand.
struct DownloadBehaviour {
    static constexpr int kSilent = -1;

    // Answers by number: 1 is the answer to the request byte, 2 the first
    // acknowledgement of image data, and so on; the signature answer is the
    // last. A byte, or kSilent. Unlisted answers are ACK.
    std::map<int, int> answers;
    // The answer to the signature check (when not replaced in `answers`).
    int signatureAnswer = 0x06;
    // 'f' answers (restarting into the firmware loader) to this many
    // firmware requests before one is taken.
    int restarts = 0;
    // A byte sent right after the acknowledgement of the firmware request
    // instead of silence ('x' for a reader that refuses), or kSilent.
    int afterFirmwareRequest = kSilent;
    // The application's block size, for telling where an image that ends
    // before 512 bytes has its 2nd and 4th blocks (64 for the slow variant).
    uint32_t applicationBlock = 128;
    // The host quiet for this long after image data: the image is complete.
    uint32_t endQuietMs = 300;
    // Where the received image is written once the signature is answered.
    std::string outputPath;
};

// A reader's download listener: after '1' it receives an application, after
// '0' a firmware image, acknowledging where a reader does:
//   application: after 256 and 512 bytes (the 2nd and 4th block), after
//     every further 65536 bytes, and after the last block unless it ended at
//     a 64 KB point; then the signature answer;
//   firmware: after header segment 1 (256 bytes); layout type 0x0200 (at
//     offset 64) after segment 2 (2048 bytes); other layouts after segment 2
//     (256) and segment 3 (261); after every 65536 bytes of the body and its
//     last block; then the signature answer.
// Each call returns the bytes the reader sends in reply (possibly none).
class DownloadListener {
public:
    using Journal = std::function<void(const std::string &line)>;

    explicit DownloadListener(DownloadBehaviour behaviour, Journal journal = nullptr);

    static bool isRequest(uint8_t byte) { return byte == '1' || byte == '0'; }

    // A download is under way (from the request to the signature answer).
    bool active() const { return phase_ != Phase::Idle; }
    Bytes start(uint8_t request);
    Bytes received(uint8_t byte);
    // Whether the transport should report the end of the host's data after
    // endQuietMs of quiet.
    bool awaitingEndOfData() const;
    Bytes dataEnded();
    void hostClosed();

    const DownloadBehaviour &behaviour() const { return behaviour_; }
    // The image received by the current or last download.
    const Bytes &image() const { return image_; }

private:
    enum class Phase {
        Idle,
        Restarting,
        Application,
        FirmwareWaiting,
        FirmwareHeader,
        FirmwareBody,
    };

    Bytes answer(const std::string &what);
    Bytes finish();
    Bytes applicationByte();
    Bytes firmwareHeaderByte();
    Bytes firmwareBodyByte();
    void note(const std::string &line);
    void writeImage();

    DownloadBehaviour behaviour_;
    Journal journal_;
    Phase phase_ = Phase::Idle;
    int answerNumber_ = 0;
    int restartsDone_ = 0;
    Bytes image_;
    std::size_t headerLength_ = 0;
    std::size_t bodyBytes_ = 0;
};

} // namespace readersim
