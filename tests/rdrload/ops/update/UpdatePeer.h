#pragma once

#include "FakePort.h"
#include "ReaderScript.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace rdrload::testing {

// A reader behind a fake port that answers an update package transfer frame
// by frame. It knows which frames the host is to send for a package of
// `length` bytes and names them: "wake" (the double break), "request",
// "information", "hostAck" (the host's ACK of the decision), "initial",
// "header1", "packet1", ..., "closure". Each is answered with ACK (the
// information with ACK and the decision byte, the host's ACK with nothing)
// unless the test sets another answer; an empty answer is silence. The
// host's write of a frame can be made to fail or come up short.
class UpdatePeer : public ReaderScript {
public:
    UpdatePeer(uint32_t length, uint8_t decision);

    void setAnswer(const std::string &frame, const Bytes &answer);
    // The first write of `frame` fails.
    void failWrite(const std::string &frame) { writeFaults_[frame] = 0; }
    // The first write of `frame` takes only `bytes` bytes.
    void shortenWrite(const std::string &frame, std::size_t bytes) { writeFaults_[frame] = bytes; }

    // The frames the host sent completely, in order.
    const std::vector<std::string> &framesReceived() const { return received_; }
    // Bytes the host wrote beyond the expected frames.
    std::size_t unexpectedBytes() const { return unexpected_; }

    void onBreak(FakePort &port, bool on) override;
    void onWrite(FakePort &port, const Bytes &bytes) override;

private:
    struct Frame {
        std::string name;
        std::size_t bytes;
        Bytes answer;
    };

    void frameDone(FakePort &port, const Frame &frame);
    void armWriteFault(FakePort &port);

    std::vector<Frame> frames_;
    std::size_t next_ = 0;
    std::size_t filled_ = 0;
    Bytes wakeAnswer_;
    int breaksCleared_ = 0;
    std::map<std::string, std::size_t> writeFaults_;
    std::vector<std::string> received_;
    std::size_t unexpected_ = 0;
};

} // namespace rdrload::testing
