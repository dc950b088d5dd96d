#include "ScriptedPort.h"

#include "load/KLAVCrc.h"

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

ScriptedPort::ScriptedPort(std::shared_ptr<ScriptedTerminal> terminal) : terminal(std::move(terminal))
{
}

bool ScriptedPort::ExecuteCommand(const uint8_t *command, int32_t commandLength, uint8_t *response,
                                  int32_t *responseLength, uint32_t readIntervalTimeout,
                                  uint32_t readTotalTimeout)
{
    const int index = terminal->exchanges.size();
    const QByteArray sent(reinterpret_cast<const char *>(command), commandLength);
    terminal->exchanges.append({sent, *responseLength, readIntervalTimeout, readTotalTimeout});
    const QByteArray reply = terminal->reply(sent, index);
    const int length = std::min<int>(reply.size(), *responseLength);
    std::memcpy(response, reply.constData(), size_t(length));
    *responseLength = length;
    if (terminal->afterExchange)
        terminal->afterExchange(index);
    return true;
}

bool ScriptedPort::closePort()
{
    ++terminal->closes;
    return true;
}
