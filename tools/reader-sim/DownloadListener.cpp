#include "DownloadListener.h"

#include <cstdio>
#include <fstream>
#include <utility>

namespace readersim {

namespace {

constexpr uint8_t kAck = 0x06;
constexpr uint8_t kRestarting = 'f';
constexpr std::size_t k64K = 65536;
constexpr std::size_t kFirstPoint = 256;
constexpr std::size_t kSecondPoint = 512;

// Firmware header segments by layout type.
constexpr std::size_t kSegment1 = 256;
constexpr std::size_t kLongHeader = 256 + 2048;
constexpr std::size_t kShortSegment2End = 512;
constexpr std::size_t kShortHeader = 512 + 261;

bool isLongLayout(const Bytes &image)
{
    return image.size() > 65 && image[64] == 0x00 && image[65] == 0x02;
}

} // namespace

DownloadListener::DownloadListener(DownloadBehaviour behaviour, Journal journal)
    : behaviour_(std::move(behaviour)), journal_(std::move(journal))
{
}

void DownloadListener::note(const std::string &line)
{
    if (journal_)
        journal_(line);
}

Bytes DownloadListener::answer(const std::string &what)
{
    ++answerNumber_;
    auto replaced = behaviour_.answers.find(answerNumber_);
    int byte = replaced != behaviour_.answers.end() ? replaced->second : kAck;
    if (what == "signature" && replaced == behaviour_.answers.end())
        byte = behaviour_.signatureAnswer;
    char text[80];
    if (byte == DownloadBehaviour::kSilent)
        std::snprintf(text, sizeof text, "answer %d %s silent", answerNumber_, what.c_str());
    else
        std::snprintf(text, sizeof text, "answer %d %s %02x", answerNumber_, what.c_str(), byte);
    note(text);
    if (byte == DownloadBehaviour::kSilent)
        return Bytes();
    return Bytes{static_cast<uint8_t>(byte)};
}

Bytes DownloadListener::start(uint8_t request)
{
    answerNumber_ = 0;
    image_.clear();
    bodyBytes_ = 0;
    headerLength_ = 0;
    if (request == '1') {
        note("download application");
        phase_ = Phase::Application;
        return answer("request");
    }
    note("download firmware");
    Bytes out = answer("request");
    if (restartsDone_ < behaviour_.restarts) {
        ++restartsDone_;
        note("restarting " + std::to_string(restartsDone_));
        out.push_back(kRestarting);
        phase_ = Phase::Restarting;
        return out;
    }
    if (behaviour_.afterFirmwareRequest != DownloadBehaviour::kSilent) {
        out.push_back(static_cast<uint8_t>(behaviour_.afterFirmwareRequest));
        note("refusing");
        phase_ = Phase::Restarting; // deaf until the host lets go
        return out;
    }
    phase_ = Phase::FirmwareWaiting;
    return out;
}

Bytes DownloadListener::received(uint8_t byte)
{
    switch (phase_) {
    case Phase::Idle:
    case Phase::Restarting:
        return Bytes();
    case Phase::Application:
        image_.push_back(byte);
        return applicationByte();
    case Phase::FirmwareWaiting:
        phase_ = Phase::FirmwareHeader;
        [[fallthrough]];
    case Phase::FirmwareHeader:
        image_.push_back(byte);
        return firmwareHeaderByte();
    case Phase::FirmwareBody:
        image_.push_back(byte);
        return firmwareBodyByte();
    }
    return Bytes();
}

Bytes DownloadListener::applicationByte()
{
    const std::size_t count = image_.size();
    if (count == kFirstPoint || count == kSecondPoint)
        return answer("ack " + std::to_string(count));
    if (count > kSecondPoint && (count - kSecondPoint) % k64K == 0)
        return answer("ack " + std::to_string(count));
    return Bytes();
}

Bytes DownloadListener::firmwareHeaderByte()
{
    const std::size_t count = image_.size();
    if (count == kSegment1)
        return answer("header 1");
    if (isLongLayout(image_)) {
        if (count == kLongHeader) {
            headerLength_ = kLongHeader;
            phase_ = Phase::FirmwareBody;
            return answer("header 2");
        }
        return Bytes();
    }
    if (count == kShortSegment2End)
        return answer("header 2");
    if (count == kShortHeader) {
        headerLength_ = kShortHeader;
        phase_ = Phase::FirmwareBody;
        return answer("header 3");
    }
    return Bytes();
}

Bytes DownloadListener::firmwareBodyByte()
{
    ++bodyBytes_;
    if (bodyBytes_ % k64K == 0)
        return answer("body " + std::to_string(bodyBytes_));
    return Bytes();
}

bool DownloadListener::awaitingEndOfData() const
{
    return phase_ == Phase::Application || phase_ == Phase::FirmwareBody;
}

Bytes DownloadListener::dataEnded()
{
    Bytes out;
    auto add = [&out](const Bytes &bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); };
    const std::size_t count = image_.size();
    if (phase_ == Phase::Application) {
        const std::size_t blocks =
            (count + behaviour_.applicationBlock - 1) / behaviour_.applicationBlock;
        // An image that ended inside its 2nd or 4th block: that block is
        // both an early point and the last block.
        if ((count < kFirstPoint && blocks == kFirstPoint / behaviour_.applicationBlock) ||
            (count > kFirstPoint && count < kSecondPoint &&
             blocks == kSecondPoint / behaviour_.applicationBlock))
            add(answer("ack " + std::to_string(count)));
        const bool at64K = count > kSecondPoint && (count - kSecondPoint) % k64K == 0;
        if (count > 0 && !at64K)
            add(answer("last " + std::to_string(count)));
    } else if (phase_ == Phase::FirmwareBody) {
        if (bodyBytes_ % k64K != 0)
            add(answer("last " + std::to_string(bodyBytes_)));
    }
    add(finish());
    return out;
}

Bytes DownloadListener::finish()
{
    note("image " + std::to_string(image_.size()) + " bytes");
    writeImage();
    phase_ = Phase::Idle;
    return answer("signature");
}

void DownloadListener::writeImage()
{
    if (behaviour_.outputPath.empty())
        return;
    // Written whole under another name first: a reader of the file never
    // sees half an image.
    const std::string partial = behaviour_.outputPath + ".part";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(image_.data()),
                  static_cast<std::streamsize>(image_.size()));
        if (!out) {
            note("cannot write " + partial);
            return;
        }
    }
    std::rename(partial.c_str(), behaviour_.outputPath.c_str());
}

void DownloadListener::hostClosed()
{
    if (phase_ != Phase::Idle && phase_ != Phase::Restarting)
        note("download broken off after " + std::to_string(image_.size()) + " bytes");
    phase_ = Phase::Idle;
}

} // namespace readersim
