#pragma once
// A device port that plays a scripted terminal in-process: it records every
// command with the time-outs it came with and answers from a script, so the
// loading protocol's exchanges are checked byte for byte without waiting.
// The answer travels over a serial line on a virtual clock: its pieces arrive
// at their scripted times, each read ends as the serial line's does (the same
// SerialReadTimer), and bytes that come after a read has ended wait for the
// next exchange.

#include "load/KLAVUsbConnector.h"
#include "port/KLAVDevicePort.h"

#include <QByteArray>
#include <QList>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>

struct ScriptedExchange {
    QByteArray command;
    int capacity;
    uint32_t intervalTimeout;
    uint32_t totalTimeout;
    KLAVAnswerEnd answerEnd;
    QByteArray answer;    // what the read returned
    long long readMs = 0; // virtual time the read took
};

// One piece of a reply: its bytes come afterMs after the previous piece (the
// first piece: after the command).
struct ScriptedPiece {
    int afterMs;
    QByteArray bytes;
};

// What the scripted terminal saw and how it answers; shared between the test
// and every port the connector (or its copies) create.
struct ScriptedTerminal {
    // Reply to the n-th command (0-based), sent at once; an empty reply is
    // silence.
    std::function<QByteArray(const QByteArray &command, int index)> reply;
    // When set, the reply in timed pieces instead.
    std::function<QList<ScriptedPiece>(const QByteArray &command, int index)> pieces;
    // Called after each exchange, from the thread that runs the load.
    std::function<void(int index)> afterExchange;

    QList<ScriptedExchange> exchanges;
    int portsCreated = 0;
    int closes = 0;

    // The line: the virtual time, and bytes sent that no read has taken yet
    // with the time each arrives.
    std::chrono::steady_clock::time_point now;
    std::deque<std::pair<std::chrono::steady_clock::time_point, char>> line;

    // A connector factory that hands out ports playing this terminal.
    KLAVUsbConnector::PortFactory factory();

    // The usual terminal for PAD pad: confirms the initialisation and the
    // request, accepts every block and confirms the ending frame.
    static QByteArray wellBehaved(const QByteArray &command, int pad);
};

class ScriptedPort : public KLAVDevicePort {
public:
    explicit ScriptedPort(std::shared_ptr<ScriptedTerminal> terminal);
    bool ExecuteCommand(const uint8_t *command, int32_t commandLength, uint8_t *response,
                        int32_t *responseLength, uint32_t readIntervalTimeout,
                        uint32_t readTotalTimeout,
                        const KLAVAnswerEnd &answerEnd = KLAVAnswerEnd()) override;
    bool closePort() override;
    uint32_t getReadTotalTimeout() override { return 3000; }
    uint32_t getReadIntervalTimeout() override { return 500; }

private:
    std::shared_ptr<ScriptedTerminal> terminal;
};
