#include "TerminalEngine.h"

#include "Crc16Kermit.h"

#include <cstdio>
#include <utility>

namespace {

constexpr uint8_t kInitBody[] = {0xC0, 0x04, 0x00, 0x78, 0x01, 0x2C};
constexpr uint8_t kInitReplyBody[] = {0xE0, 0x04, 0x00, 0x78, 0x01, 0x2C};
constexpr uint8_t kRequestFixed[] = {0x05, 0x01, 0x01, 0x60};
constexpr uint8_t kAccepted = 0x05;
constexpr uint8_t kNack = 0x06;
constexpr uint8_t kRefused = 0x15;

std::string hexByte(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFFu);
    return text;
}

bool crcMatches(const uint8_t *frame, size_t size)
{
    if (size < 2)
        return false;
    uint16_t crc = crc16Kermit(frame, size - 2);
    return frame[size - 2] == (crc & 0xFF) && frame[size - 1] == (crc >> 8);
}

} // namespace

TerminalEngine::TerminalEngine(MisbehaviourPlan plan, int pad)
    : plan_(std::move(plan)), acceptedPad_(pad)
{
}

FrameKind TerminalEngine::classify(const uint8_t *command, size_t size)
{
    if (size == 0 || !command)
        return FrameKind::Unknown;
    if (size == 1 && command[0] == 0x0D)
        return FrameKind::CarriageReturn;
    if (command[0] == 0x01)
        return FrameKind::Data;
    if (size == 3 && command[0] == 0x02 && command[1] == 0x00 && command[2] == 0x00)
        return FrameKind::Ending;
    if (size >= 2 && (command[0] & 0x0F) == 0x0F) {
        if (command[1] == 0xC0)
            return FrameKind::Init;
        if (command[1] == 0x40)
            return FrameKind::Request;
    }
    return FrameKind::Unknown;
}

const char *TerminalEngine::kindName(FrameKind kind)
{
    switch (kind) {
    case FrameKind::CarriageReturn:
        return "cr";
    case FrameKind::Init:
        return "init";
    case FrameKind::Request:
        return "request";
    case FrameKind::Data:
        return "data";
    case FrameKind::Ending:
        return "ending";
    case FrameKind::Unknown:
        break;
    }
    return "unknown";
}

EngineReply TerminalEngine::handleCommand(const uint8_t *command, size_t size)
{
    FrameKind kind = classify(command, size);
    log_.frame(true, kindName(kind), command, size);
    EngineReply reply;
    bool answer = true;
    switch (kind) {
    case FrameKind::CarriageReturn:
        log_.note("carriage return alone: no answer");
        return reply;
    case FrameKind::Unknown:
        log_.note("not a frame of the loading protocol: no answer");
        return reply;
    case FrameKind::Init:
        reply.bytes = answerInit(command, size, answer);
        break;
    case FrameKind::Request:
        reply.bytes = answerRequest(command, size, answer);
        break;
    case FrameKind::Data:
    case FrameKind::Ending:
        if (phase_ != Phase::Receiving) {
            log_.note(std::string(kindName(kind)) + " frame outside a load: refused");
            reply.bytes = (kind == FrameKind::Data) ? std::vector<uint8_t>{kRefused}
                                                    : std::vector<uint8_t>{kRefused, 0, 0};
            log_.frame(false, "refusal", reply.bytes.data(), reply.bytes.size());
            return reply;
        }
        reply.bytes = (kind == FrameKind::Data) ? answerData(command, size, reply) : answerEnding();
        break;
    }
    if (!answer)
        return EngineReply();

    ++replyNumber_;
    misbehave(kind, reply);
    if (reply.hangUp) {
        log_.note("hang-up at block " + std::to_string(blocks_) + " of load " +
                  std::to_string(loadNumber_));
        phase_ = Phase::Idle;
        reply.bytes.clear();
        return reply;
    }
    if (reply.bytes.empty())
        log_.note("reply " + std::to_string(replyNumber_) + ": no answer");
    else
        log_.frame(false, std::string(kindName(kind)) + "-reply", reply.bytes.data(),
                   reply.bytes.size());
    return reply;
}

bool TerminalEngine::addressedToUs(uint8_t first)
{
    int pad = first >> 4;
    if (acceptedPad_ == kAnyPad || pad == acceptedPad_)
        return true;
    log_.note("frame for PAD " + std::to_string(pad) + ", this terminal is PAD " +
              std::to_string(acceptedPad_) + ": no answer");
    return false;
}

std::vector<uint8_t> TerminalEngine::answerInit(const uint8_t *command, size_t size, bool &answer)
{
    answer = false;
    if (size != 9) {
        log_.note("initialisation frame of " + std::to_string(size) +
                  " bytes, 9 expected: no answer");
        return {};
    }
    for (size_t i = 0; i < sizeof kInitBody; ++i) {
        if (command[1 + i] != kInitBody[i]) {
            log_.note("initialisation byte " + std::to_string(1 + i) + " is " +
                      hexByte(command[1 + i]) + ": no answer");
            return {};
        }
    }
    if (!crcMatches(command, size)) {
        log_.note("initialisation frame with a wrong CRC: no answer");
        return {};
    }
    if (!addressedToUs(command[0]))
        return {};

    ++loadNumber_;
    pad_ = command[0] >> 4;
    phase_ = Phase::Initialised;
    replyNumber_ = 0;
    blocks_ = 0;
    announcedSize_ = 0;
    entries_.clear();
    received_.clear();
    log_.note("load " + std::to_string(loadNumber_) + ": initialisation, PAD " +
              std::to_string(pad_));

    std::vector<uint8_t> reply{uint8_t(0xF0 | pad_)};
    reply.insert(reply.end(), std::begin(kInitReplyBody), std::end(kInitReplyBody));
    appendCrc16Kermit(reply);
    answer = true;
    return reply;
}

std::vector<uint8_t> TerminalEngine::requestReply(uint8_t status) const
{
    std::vector<uint8_t> reply{uint8_t(0xF0 | pad_), 0x40, 0x02, 0x00, status};
    appendCrc16Kermit(reply);
    return reply;
}

std::vector<uint8_t> TerminalEngine::answerRequest(const uint8_t *command, size_t size,
                                                   bool &answer)
{
    answer = false;
    if (phase_ == Phase::Idle) {
        log_.note("request frame before any initialisation: no answer");
        return {};
    }
    if ((command[0] >> 4) != pad_) {
        log_.note("request frame for PAD " + std::to_string(command[0] >> 4) +
                  " during a load for PAD " + std::to_string(pad_) + ": no answer");
        return {};
    }
    answer = true;
    std::string problem;
    if (!parseRequest(command, size, problem)) {
        log_.note("request refused: " + problem);
        phase_ = Phase::Initialised;
        return requestReply(0x01);
    }
    phase_ = Phase::Receiving;
    blocks_ = 0;
    received_.clear();
    std::string summary = "request: file size " + std::to_string(announcedSize_) + ", " +
                          std::to_string(entries_.size()) + " entries";
    for (const RequestEntry &entry : entries_)
        summary += " " + std::to_string(entry.number) + "=\"" + entry.text + "\"";
    log_.note(summary);
    return requestReply(0x00);
}

// Layout: PAD byte, 0x40, LEN, 05 01 01 60, L, 0x80, k, k size bytes (most
// significant first), L bytes of entries (tag 0x80 + number, length, text),
// CRC. LEN counts the bytes from offset 3 to the end of the entries.
bool TerminalEngine::parseRequest(const uint8_t *command, size_t size, std::string &problem)
{
    if (size < 12) {
        problem = "frame of " + std::to_string(size) + " bytes is too short";
        return false;
    }
    for (size_t i = 0; i < sizeof kRequestFixed; ++i) {
        if (command[3 + i] != kRequestFixed[i]) {
            problem = "byte " + std::to_string(3 + i) + " is " + hexByte(command[3 + i]);
            return false;
        }
    }
    if (command[8] != 0x80) {
        problem = "byte 8 is " + hexByte(command[8]);
        return false;
    }
    size_t entryBytes = command[7];
    size_t k = command[9];
    if (k > 4) {
        problem = "size field of " + std::to_string(k) + " bytes";
        return false;
    }
    size_t expected = 10 + k + entryBytes + 2;
    if (size != expected) {
        problem = "frame of " + std::to_string(size) + " bytes, its fields make " +
                  std::to_string(expected);
        return false;
    }
    if (command[2] != 7 + k + entryBytes) {
        problem = "length byte " + std::to_string(command[2]) + ", the frame holds " +
                  std::to_string(7 + k + entryBytes);
        return false;
    }
    if (!crcMatches(command, size)) {
        problem = "wrong CRC";
        return false;
    }
    uint32_t fileSize = 0;
    for (size_t i = 0; i < k; ++i)
        fileSize = (fileSize << 8) | command[10 + i];

    std::vector<RequestEntry> entries;
    size_t pos = 10 + k;
    const size_t end = pos + entryBytes;
    while (pos < end) {
        if (end - pos < 2 || end - pos - 2 < command[pos + 1]) {
            problem = "entry at offset " + std::to_string(pos) + " overruns the entries";
            return false;
        }
        uint8_t tag = command[pos];
        if (tag < 0x81 || tag > 0x8F) {
            problem = "entry tag " + hexByte(tag);
            return false;
        }
        RequestEntry entry;
        entry.number = tag - 0x80;
        entry.text.assign(reinterpret_cast<const char *>(command + pos + 2), command[pos + 1]);
        entries.push_back(std::move(entry));
        pos += 2 + command[pos + 1];
    }
    announcedSize_ = fileSize;
    entries_ = std::move(entries);
    return true;
}

std::vector<uint8_t> TerminalEngine::answerData(const uint8_t *command, size_t size,
                                                EngineReply &reply)
{
    ++blocks_;
    const std::string block = "block " + std::to_string(blocks_);
    size_t payload = size >= 3 ? (size_t(command[1]) << 8 | command[2]) : 0;
    if (size < 3 || size != 3 + payload || payload == 0 || payload > kMaxPayload) {
        log_.note(block + ": malformed data frame of " + std::to_string(size) + " bytes: refused");
        return {kRefused};
    }
    if (received_.size() + payload > announcedSize_) {
        log_.note(block + ": " + std::to_string(payload) + " bytes would pass the announced " +
                  std::to_string(announcedSize_) + ": refused");
        return {kRefused};
    }
    if (plan_.appliesToLoad(loadNumber_)) {
        if (blocks_ == plan_.hangupBlock) {
            reply.hangUp = true;
            return {};
        }
        if (blocks_ == plan_.nackBlock) {
            log_.note(block + ": NACK \"" + plan_.nackText + "\" (misbehaviour)");
            std::vector<uint8_t> nack{kNack, 0x00, uint8_t(plan_.nackText.size())};
            nack.insert(nack.end(), plan_.nackText.begin(), plan_.nackText.end());
            return nack;
        }
        if (blocks_ == plan_.incompleteNackBlock) {
            log_.note(block + ": incomplete NACK (misbehaviour)");
            return {kNack, 0x00, 0x00};
        }
        if (blocks_ == plan_.refuseBlock) {
            log_.note(block + ": refused (misbehaviour)");
            return {kRefused};
        }
    }
    received_.insert(received_.end(), command + 3, command + size);
    log_.note(block + ": " + std::to_string(payload) + " bytes accepted, " +
              std::to_string(received_.size()) + " of " + std::to_string(announcedSize_));
    std::vector<uint8_t> ack(plan_.ackLength, 0x00);
    ack[0] = kAccepted;
    return ack;
}

std::vector<uint8_t> TerminalEngine::answerEnding()
{
    phase_ = Phase::Idle;
    if (received_.size() != announcedSize_) {
        log_.note("ending after " + std::to_string(received_.size()) + " of " +
                  std::to_string(announcedSize_) + " bytes: not confirmed");
        return {kRefused, 0x00, 0x00};
    }
    CompletedLoad load;
    load.number = loadNumber_;
    load.pad = pad_;
    load.announcedSize = announcedSize_;
    load.entries = entries_;
    load.data = std::move(received_);
    received_.clear();
    completed_.push_back(std::move(load));
    ++completedCount_;
    log_.note("load " + std::to_string(loadNumber_) +
              " received whole: " + std::to_string(announcedSize_) + " bytes");
    return {kAccepted, 0x00, 0x00};
}

void TerminalEngine::misbehave(FrameKind kind, EngineReply &reply)
{
    if (!plan_.appliesToLoad(loadNumber_))
        return;
    auto names = [&](int reply) {
        return reply == replyNumber_ ||
               (reply == MisbehaviourPlan::kEndingReply && kind == FrameKind::Ending) ||
               (reply == MisbehaviourPlan::kEveryDataReply && kind == FrameKind::Data);
    };
    std::vector<uint8_t> &bytes = reply.bytes;
    for (const MisbehaviourPlan::ByteChange &change : plan_.wrongBytes) {
        if (names(change.reply) && change.index < bytes.size()) {
            uint8_t &b = bytes[change.index];
            b = change.value < 0 ? uint8_t(~b) : uint8_t(change.value);
            log_.note("reply " + std::to_string(replyNumber_) + ": byte " +
                      std::to_string(change.index) + " set to " + hexByte(b) + " (misbehaviour)");
        }
    }
    for (const MisbehaviourPlan::Cut &cut : plan_.shortReplies) {
        if (names(cut.reply) && cut.length < bytes.size()) {
            bytes.resize(cut.length);
            log_.note("reply " + std::to_string(replyNumber_) + ": cut to " +
                      std::to_string(cut.length) + " bytes (misbehaviour)");
        }
    }
    if (kind == FrameKind::Ending && plan_.noEndingReply && !bytes.empty()) {
        bytes.clear();
        log_.note("ending reply withheld (misbehaviour)");
    }
    for (const MisbehaviourPlan::Split &split : plan_.splitReplies) {
        if (names(split.reply) && split.first < bytes.size()) {
            reply.splitAt = split.first;
            reply.splitDelayMs = split.delayMs;
            log_.note("reply " + std::to_string(replyNumber_) + ": " + std::to_string(split.first) +
                      " bytes, the rest " + std::to_string(split.delayMs) +
                      " ms later (misbehaviour)");
        }
    }
    if (plan_.silent) {
        bytes.clear();
        reply.splitAt = 0;
    }
    reply.delayMs = plan_.delayMs;
}

bool TerminalEngine::takeCompletedLoad(CompletedLoad &load)
{
    if (completed_.empty())
        return false;
    load = std::move(completed_.front());
    completed_.pop_front();
    return true;
}
