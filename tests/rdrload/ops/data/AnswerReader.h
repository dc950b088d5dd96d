#pragma once

#include "FakePort.h"
#include "ReaderScript.h"

#include <cstddef>
#include <vector>

namespace rdrload::testing {

// What the reader sends back to one write of the host: `bytes` after
// `delayMs`, then `later` after `laterMs` (for data that comes in pieces).
struct Answer {
    Bytes bytes;
    uint64_t delayMs = 0;
    Bytes later;
    uint64_t laterMs = 0;
};

// A reader that answers the double break with `wake` (-1: silence) and the
// host's n-th write after the wake with the n-th answer; writes beyond the
// answers get nothing.
class AnswerReader : public ReaderScript {
public:
    explicit AnswerReader(std::vector<Answer> answers, int wake = 0x06);

    void onOpen(FakePort &) override { breaksCleared_ = 0; }
    void onBreak(FakePort &port, bool on) override;
    void onWrite(FakePort &port, const Bytes &bytes) override;

    std::size_t answered() const { return next_; }

private:
    std::vector<Answer> answers_;
    int wake_;
    int breaksCleared_ = 0;
    std::size_t next_ = 0;
};

Answer ack();
Answer nak();
Answer silence();
// `bytes` after `delayMs`.
Answer answer(Bytes bytes, uint64_t delayMs = 0);
// Bytes 0, 1, 2, ... (mod 251) of the given count.
Bytes pattern(std::size_t count);
// A 16-bit little-endian length field.
Bytes lengthField(std::size_t length);
Bytes join(Bytes first, const Bytes &second);

} // namespace rdrload::testing
