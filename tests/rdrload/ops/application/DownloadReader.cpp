#include "DownloadReader.h"

namespace rdrload::testing {

void DownloadReader::onOpen(FakePort &)
{
    clearedBreaks_ = 0;
    requested_ = false;
}

void DownloadReader::answer(FakePort &port, int turn)
{
    auto replaced = answers.find(turn);
    const int byte = replaced == answers.end() ? 0x06 : replaced->second;
    if (byte != kSilent)
        port.send(static_cast<uint8_t>(byte));
}

void DownloadReader::onBreak(FakePort &port, bool on)
{
    if (!on && ++clearedBreaks_ == 2)
        answer(port, 0);
}

void DownloadReader::onWrite(FakePort &port, const Bytes &bytes)
{
    if (!requested_) {
        requested_ = true;
        ++requests_;
        answer(port, 1);
        if (static_cast<std::size_t>(requests_) <= afterRequest.size() &&
            afterRequest[requests_ - 1] != kSilent)
            port.send(static_cast<uint8_t>(afterRequest[requests_ - 1]));
        if (ackPoints.empty())
            answer(port, 2); // nothing to send: the signature comes next
        armFaults(port);
        return;
    }
    image_.insert(image_.end(), bytes.begin(), bytes.end());
    while (nextPoint_ < ackPoints.size() && image_.size() >= ackPoints[nextPoint_]) {
        answer(port, static_cast<int>(2 + nextPoint_));
        ++nextPoint_;
        if (nextPoint_ == ackPoints.size())
            answer(port, static_cast<int>(2 + nextPoint_)); // the signature
    }
    armFaults(port);
}

void DownloadReader::armFaults(FakePort &port)
{
    const long size = static_cast<long>(image_.size());
    if (size == failWriteAt)
        port.failCall(PortCall::Write, 5, 1);
    if (size == shortWriteAt)
        port.shortenNextWrite(3);
}

} // namespace rdrload::testing
