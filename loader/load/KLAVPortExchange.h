#pragma once
// One exchange of the loading protocol on a device port: the command goes
// out, one reply comes back, and the log traces both. Every exchange of a
// load runs here; the lines each one writes are data (Trace), written in
// this order once the reply has come:
//   the command's size (LOG_INFO), then each command byte (LOG_DATA);
//   the reply's size (at the trace's level), then each reply byte
//   (LOG_DATA), with the byte expected in its place when the caller gives
//   the expected reply.
// Nothing is compared or decided here: the caller reads the reply.

#include "port/KLAVDevicePort.h"

#include <QByteArray>

#include <cstdint>

class KLAVPortExchange {
public:
    // printf formats of the trace lines; a null format writes no line.
    struct Trace {
        const char *commandSize; // the command's size (%d)
        const char *commandByte; // index and value of a command byte (%d, %02X)
        int replySizeLevel;      // the level of the reply's size line
        const char *replySize;   // the number of bytes received (%d)
        // Index and value of a reply byte (%d, %02X), then the byte expected
        // there (%02X) when an expected reply is given.
        const char *replyByte;
    };

    // How the reply is read: at most capacity bytes, within the time-outs
    // (milliseconds), ending sooner as answerEnd says.
    struct Read {
        int capacity;
        std::uint32_t intervalTimeout;
        std::uint32_t totalTimeout;
        KLAVAnswerEnd answerEnd;
    };

    // Sends command on port and returns the reply, traced. An empty command
    // makes the port send its single carriage return. expected, when not
    // empty, is the reply the caller hopes for (read.capacity bytes), shown
    // beside each byte received.
    static QByteArray run(KLAVDevicePort &port, const QByteArray &command, const Read &read,
                          const Trace &trace, const QByteArray &expected = QByteArray());
};
