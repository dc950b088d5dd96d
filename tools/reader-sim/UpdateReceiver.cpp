#include "UpdateReceiver.h"

#include <cstdio>
#include <fstream>
#include <utility>

namespace readersim {

namespace {

constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNak = 0x15;
constexpr std::size_t kFrameSize = 8;
constexpr uint32_t kClosureMark = 0xFFFFFFFFu;

uint32_t littleEndian(const std::vector<uint8_t> &bytes, std::size_t at)
{
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | bytes[at + static_cast<std::size_t>(i)];
    return value;
}

std::string hexByte(uint8_t byte)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02x", byte);
    return text;
}

} // namespace

UpdateReceiver::UpdateReceiver(UpdateBehaviour behaviour, Journal journal)
    : behaviour_(std::move(behaviour)), journal_(std::move(journal))
{
}

void UpdateReceiver::note(const std::string &line)
{
    if (journal_)
        journal_(line);
}

void UpdateReceiver::answer(int byte)
{
    if (byte != UpdateBehaviour::kSilent)
        output_.push_back(static_cast<uint8_t>(byte));
}

void UpdateReceiver::fault(const std::string &what)
{
    note("update fault: " + what);
    answer(kNak);
    phase_ = Phase::Failed;
}

void UpdateReceiver::start()
{
    note("update request");
    frame_.clear();
    package_.clear();
    announced_ = 0;
    packets_ = 0;
    phase_ = Phase::Information;
    answer(kAck);
}

UpdateReceiver::Bytes UpdateReceiver::takeOutput()
{
    Bytes out;
    out.swap(output_);
    return out;
}

void UpdateReceiver::received(uint8_t byte)
{
    switch (phase_) {
    case Phase::Failed:
    case Phase::Finished:
        return; // the host gives up or closes; nothing more is taken
    case Phase::DecisionAck:
    case Phase::RefusalAck:
        hostAck(byte);
        return;
    case Phase::Data:
        package_.push_back(byte);
        if (--dataLength_ == 0)
            packetData();
        return;
    case Phase::Information:
    case Phase::Initial:
    case Phase::Header:
        frame_.push_back(byte);
        if (frame_.size() == kFrameSize)
            frameComplete();
        return;
    }
}

void UpdateReceiver::frameComplete()
{
    if (phase_ == Phase::Information)
        information();
    else if (phase_ == Phase::Initial)
        initial();
    else
        headerOrClosure();
    frame_.clear();
}

void UpdateReceiver::information()
{
    if (littleEndian(frame_, 0) != 0)
        return fault("package information does not start with 0");
    announced_ = littleEndian(frame_, 4);
    note("update information length " + std::to_string(announced_));
    answer(kAck);
    if (behaviour_.decision == UpdateBehaviour::kSilent) {
        note("update decision withheld");
        phase_ = Phase::Failed;
        return;
    }
    note("update decision " + std::to_string(behaviour_.decision));
    answer(behaviour_.decision);
    phase_ = behaviour_.decision == 0 ? Phase::DecisionAck : Phase::RefusalAck;
}

void UpdateReceiver::hostAck(uint8_t byte)
{
    if (byte != kAck)
        return fault("the decision was answered with " + hexByte(byte) + ", not ACK");
    note("update decision acknowledged");
    if (phase_ == Phase::RefusalAck) {
        note("update refused " + std::to_string(behaviour_.decision));
        phase_ = Phase::Finished;
        return;
    }
    phase_ = Phase::Initial;
}

void UpdateReceiver::initial()
{
    if (littleEndian(frame_, 0) != 0 || littleEndian(frame_, 4) != 0)
        return fault("the initial packet is not all zeros");
    note("update initial packet");
    answer(kAck);
    phase_ = Phase::Header;
}

void UpdateReceiver::headerOrClosure()
{
    const uint32_t sequence = littleEndian(frame_, 0);
    const uint32_t length = littleEndian(frame_, 4);
    if (sequence == kClosureMark)
        return closure();
    note("update header " + std::to_string(sequence) + " " + std::to_string(length));
    if (sequence != packets_ + 1)
        return fault("sequence number " + std::to_string(sequence) + " where " +
                     std::to_string(packets_ + 1) + " was due");
    if (length < 1 || length > kMaxPacket)
        return fault("packet length " + std::to_string(length) + " outside 1 to 8192");
    if (length > announced_ - package_.size())
        return fault("packet " + std::to_string(sequence) + " goes beyond the announced " +
                     std::to_string(announced_) + " bytes");
    packets_ = sequence;
    dataLength_ = length;
    if (sequence == behaviour_.headerFault) {
        note("update header " + std::to_string(sequence) + " answered by misbehaviour");
        answer(behaviour_.headerAnswer);
        phase_ = Phase::Failed;
        return;
    }
    answer(kAck);
    phase_ = Phase::Data;
}

void UpdateReceiver::packetData()
{
    note("update packet " + std::to_string(packets_));
    if (packets_ == behaviour_.packetFault) {
        note("update packet " + std::to_string(packets_) + " answered by misbehaviour");
        answer(behaviour_.packetAnswer);
        phase_ = Phase::Failed;
        return;
    }
    answer(kAck);
    phase_ = Phase::Header;
}

void UpdateReceiver::closure()
{
    note("update closure packet");
    if (littleEndian(frame_, 4) != 0)
        return fault("the closure packet does not end with 0");
    if (package_.size() != announced_)
        return fault("closure after " + std::to_string(package_.size()) + " of " +
                     std::to_string(announced_) + " announced bytes");
    if (!savePackage())
        return fault("cannot write " + behaviour_.outputPath);
    note("update complete " + std::to_string(package_.size()) + " bytes in " +
         std::to_string(packets_) + " packets");
    answer(kAck);
    phase_ = Phase::Finished;
}

bool UpdateReceiver::savePackage()
{
    if (behaviour_.outputPath.empty())
        return true;
    // Written beside and renamed, so that the file never shows half a package.
    const std::string partial = behaviour_.outputPath + ".part";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(package_.data()),
                  static_cast<std::streamsize>(package_.size()));
        if (!out.flush()) {
            std::remove(partial.c_str());
            return false;
        }
    }
    return std::rename(partial.c_str(), behaviour_.outputPath.c_str()) == 0;
}

} // namespace readersim
