#include "UpdatePeer.h"

#include <algorithm>

namespace rdrload::testing {

namespace {

constexpr uint8_t kAckByte = 0x06;

} // namespace

UpdatePeer::UpdatePeer(uint32_t length, uint8_t decision) : wakeAnswer_{kAckByte}
{
    frames_.push_back({"request", 1, {kAckByte}});
    frames_.push_back({"information", 8, {kAckByte, decision}});
    frames_.push_back({"hostAck", 1, {}});
    if (decision != 0)
        return;
    frames_.push_back({"initial", 8, {kAckByte}});
    uint32_t sent = 0;
    for (int packet = 1; sent < length; ++packet) {
        const uint32_t size = std::min<uint32_t>(8192, length - sent);
        frames_.push_back({"header" + std::to_string(packet), 8, {kAckByte}});
        frames_.push_back({"packet" + std::to_string(packet), size, {kAckByte}});
        sent += size;
    }
    frames_.push_back({"closure", 8, {kAckByte}});
}

void UpdatePeer::setAnswer(const std::string &frame, const Bytes &answer)
{
    if (frame == "wake") {
        wakeAnswer_ = answer;
        return;
    }
    for (Frame &each : frames_) {
        if (each.name == frame)
            each.answer = answer;
    }
}

void UpdatePeer::onBreak(FakePort &port, bool on)
{
    // The second end of a break completes the double break.
    if (on || ++breaksCleared_ != 2)
        return;
    received_.push_back("wake");
    port.send(wakeAnswer_);
    armWriteFault(port);
}

void UpdatePeer::onWrite(FakePort &port, const Bytes &bytes)
{
    filled_ += bytes.size();
    while (next_ < frames_.size() && filled_ >= frames_[next_].bytes) {
        filled_ -= frames_[next_].bytes;
        frameDone(port, frames_[next_++]);
    }
    if (next_ == frames_.size()) {
        unexpected_ += filled_;
        filled_ = 0;
    }
}

void UpdatePeer::frameDone(FakePort &port, const Frame &frame)
{
    received_.push_back(frame.name);
    port.send(frame.answer);
    armWriteFault(port);
}

// Makes the host's first write of the next frame fail or come up short.
void UpdatePeer::armWriteFault(FakePort &port)
{
    if (next_ >= frames_.size())
        return;
    auto fault = writeFaults_.find(frames_[next_].name);
    if (fault == writeFaults_.end())
        return;
    if (fault->second == 0)
        port.failCall(PortCall::Write);
    else
        port.shortenNextWrite(fault->second);
}

} // namespace rdrload::testing
