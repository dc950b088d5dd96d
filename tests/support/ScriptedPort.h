#pragma once
// A device port that plays a scripted terminal in-process: it records every
// command with the time-outs it came with and answers from a script, so the
// loading protocol's exchanges are checked byte for byte without waiting.

#include "load/KLAVUsbConnector.h"
#include "port/KLAVDevicePort.h"

#include <QByteArray>
#include <QList>

#include <functional>
#include <memory>

struct ScriptedExchange {
    QByteArray command;
    int capacity;
    uint32_t intervalTimeout;
    uint32_t totalTimeout;
};

// What the scripted terminal saw and how it answers; shared between the test
// and every port the connector (or its copies) create.
struct ScriptedTerminal {
    // Reply to the n-th command (0-based); an empty reply is silence.
    std::function<QByteArray(const QByteArray &command, int index)> reply;
    // Called after each exchange, from the thread that runs the load.
    std::function<void(int index)> afterExchange;

    QList<ScriptedExchange> exchanges;
    int portsCreated = 0;
    int closes = 0;

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
                        uint32_t readTotalTimeout) override;
    bool closePort() override;
    uint32_t getReadTotalTimeout() override { return 3000; }
    uint32_t getReadIntervalTimeout() override { return 500; }

private:
    std::shared_ptr<ScriptedTerminal> terminal;
};
