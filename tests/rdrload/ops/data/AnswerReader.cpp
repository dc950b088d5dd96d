#include "AnswerReader.h"

#include "link/SerialLink.h"

#include <utility>

namespace rdrload::testing {

AnswerReader::AnswerReader(std::vector<Answer> answers, int wake)
    : answers_(std::move(answers)), wake_(wake)
{
}

void AnswerReader::onBreak(FakePort &port, bool on)
{
    if (!on && ++breaksCleared_ == 2 && wake_ >= 0)
        port.send(static_cast<uint8_t>(wake_));
}

void AnswerReader::onWrite(FakePort &port, const Bytes &)
{
    if (next_ >= answers_.size())
        return;
    const Answer &reply = answers_[next_++];
    if (!reply.bytes.empty())
        port.send(reply.bytes, reply.delayMs);
    if (!reply.later.empty())
        port.send(reply.later, reply.laterMs);
}

Answer ack()
{
    return answer(Bytes{kAck});
}

Answer nak()
{
    return answer(Bytes{kNak});
}

Answer silence()
{
    return Answer{};
}

Answer answer(Bytes bytes, uint64_t delayMs)
{
    Answer reply;
    reply.bytes = std::move(bytes);
    reply.delayMs = delayMs;
    return reply;
}

Bytes pattern(std::size_t count)
{
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(i % 251);
    return bytes;
}

Bytes lengthField(std::size_t length)
{
    return Bytes{static_cast<uint8_t>(length & 0xFF), static_cast<uint8_t>((length >> 8) & 0xFF)};
}

Bytes join(Bytes first, const Bytes &second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

} // namespace rdrload::testing
