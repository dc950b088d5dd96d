#include "ScriptedPort.h"

#include "load/KLAVCrc.h"
#include "platform/SerialReadTimer.h"

#include <algorithm>

#include <cstring>

KLAVUsbConnector::PortFactory ScriptedTerminal::factory()
{
    // The terminal outlives the test's connectors through this shared owner.
    std::shared_ptr<ScriptedTerminal> self(this, [](ScriptedTerminal *) {});
    return [self](const KLAVDevice &) {
        ++self->portsCreated;
        return std::make_unique<ScriptedPort>(self);
    };
}

QByteArray ScriptedTerminal::wellBehaved(const QByteArray &command, int pad)
{
    auto framed = [](QByteArray frame) {
        KLAVCrc::appendCrc(frame);
        return frame;
    };
    const char replyByte = char((pad - 16) & 0xFF);
    switch (command.isEmpty() ? 0 : quint8(command[0])) {
    case 0x01:
        return QByteArray("\x05", 1);
    case 0x02:
        return QByteArray("\x05\x00\x00", 3);
    default:
        if (command.size() > 1 && command[1] == char(0xC0))
            return framed(QByteArray(1, replyByte) + QByteArray("\xE0\x04\x00\x78\x01\x2C", 6));
        return framed(QByteArray(1, replyByte) + QByteArray("\x40\x02\x00\x00", 4));
    }
}

ScriptedPort::ScriptedPort(std::shared_ptr<ScriptedTerminal> terminal)
    : terminal(std::move(terminal))
{
}

bool ScriptedPort::ExecuteCommand(const uint8_t *command, int32_t commandLength, uint8_t *response,
                                  int32_t *responseLength, uint32_t readIntervalTimeout,
                                  uint32_t readTotalTimeout, const KLAVAnswerEnd &answerEnd)
{
    using Clock = std::chrono::steady_clock;
    ScriptedTerminal &t = *terminal;
    const int index = t.exchanges.size();
    const QByteArray sent(reinterpret_cast<const char *>(command), commandLength);
    t.exchanges.append(
        {sent, *responseLength, readIntervalTimeout, readTotalTimeout, answerEnd, {}, 0});

    // The terminal answers after what it sent before: its pieces join the line in order.
    const QList<ScriptedPiece> pieces =
        t.pieces ? t.pieces(sent, index) : QList<ScriptedPiece>{{0, t.reply(sent, index)}};
    Clock::time_point at = t.now;
    for (const ScriptedPiece &piece : pieces) {
        at += std::chrono::milliseconds(piece.afterMs);
        if (!t.line.empty())
            at = std::max(at, t.line.back().first);
        for (const char byte : piece.bytes)
            t.line.emplace_back(at, byte);
    }

    SerialLineTimeouts timeouts;
    timeouts.readInterval = readIntervalTimeout;
    timeouts.readTotalConstant = readTotalTimeout;
    SerialReadEnd end;
    end.leadByte = answerEnd.leadByte;
    end.quietGap = answerEnd.quietGap;
    const Clock::time_point start = t.now;
    SerialReadTimer timer(timeouts, size_t(*responseLength), end, start);
    QByteArray answer;
    while (!timer.full()) {
        const long long wait = timer.waitMs(t.now);
        if (wait == 0)
            break;
        if (t.line.empty() && wait < 0)
            break; // no bound and nothing to come
        const Clock::time_point limit = t.now + std::chrono::milliseconds(wait);
        if (t.line.empty() || (wait > 0 && t.line.front().first > limit)) {
            t.now = limit; // nothing within the bound: it passes
            continue;
        }
        // The bytes there by then arrive together, as one read of the line.
        const Clock::time_point arrival = std::max(t.now, t.line.front().first);
        const int before = answer.size();
        while (!t.line.empty() && t.line.front().first <= arrival &&
               size_t(answer.size()) < size_t(*responseLength)) {
            answer.append(t.line.front().second);
            t.line.pop_front();
        }
        t.now = arrival;
        timer.received(reinterpret_cast<const uint8_t *>(answer.constData()) + before,
                       size_t(answer.size() - before), t.now);
    }
    std::memcpy(response, answer.constData(), size_t(answer.size()));
    *responseLength = answer.size();
    t.exchanges.last().answer = answer;
    t.exchanges.last().readMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(t.now - start).count();
    if (t.afterExchange)
        t.afterExchange(index);
    return true;
}

bool ScriptedPort::closePort()
{
    ++terminal->closes;
    return true;
}
