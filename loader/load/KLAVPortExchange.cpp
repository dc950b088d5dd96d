#include "KLAVPortExchange.h"

#include "base/KLAVLog.h"

#include <algorithm>

QByteArray KLAVPortExchange::run(KLAVDevicePort &port, const QByteArray &command, const Read &read,
                                 const Trace &trace, const QByteArray &expected)
{
    QByteArray reply(read.capacity, '\0');
    int32_t replyLength = read.capacity;
    port.ExecuteCommand(reinterpret_cast<const uint8_t *>(command.constData()), command.size(),
                        reinterpret_cast<uint8_t *>(reply.data()), &replyLength,
                        read.intervalTimeout, read.totalTimeout, read.answerEnd);
    reply.truncate(std::clamp(replyLength, 0, read.capacity));

    if (trace.commandSize)
        writeLog(LOG_INFO, trace.commandSize, int(command.size()));
    if (trace.commandByte) {
        for (int i = 0; i < command.size(); ++i)
            writeLog(LOG_DATA, trace.commandByte, i, uint8_t(command[i]));
    }
    if (trace.replySize)
        writeLog(trace.replySizeLevel, trace.replySize, int(reply.size()));
    if (trace.replyByte) {
        for (int i = 0; i < reply.size(); ++i) {
            if (i < expected.size())
                writeLog(LOG_DATA, trace.replyByte, i, uint8_t(reply[i]), uint8_t(expected[i]));
            else
                writeLog(LOG_DATA, trace.replyByte, i, uint8_t(reply[i]));
        }
    }
    return reply;
}
