#pragma once
// Device port of a terminal that presents itself as a USB serial device.
// Opened, configured (57600 baud, 8N1, no flow control, DTR and RTS on) and
// purged once by the constructor; time-outs are set again for every exchange.

#include "platform/SerialLine.h"
#include "port/KLAVDevicePort.h"

#include <cstdint>
#include <string>

class KLAVSerialPort : public KLAVDevicePort {
public:
    // path is opened unchanged: the device record's LpFileName.
    explicit KLAVSerialPort(std::string path);
    ~KLAVSerialPort() override;
    KLAVSerialPort(const KLAVSerialPort &) = delete;
    KLAVSerialPort &operator=(const KLAVSerialPort &) = delete;

    // 0 when the line settings were applied, 1 on any failure.
    uint16_t ConfigureCOMSession();

    bool ExecuteCommand(const uint8_t *command, int32_t commandLength, uint8_t *response,
                        int32_t *responseLength, uint32_t readIntervalTimeout,
                        uint32_t readTotalTimeout,
                        const KLAVAnswerEnd &answerEnd = KLAVAnswerEnd()) override;
    bool closePort() override;
    uint32_t getReadTotalTimeout() override { return kReadTotalTimeout; }
    uint32_t getReadIntervalTimeout() override { return kReadIntervalTimeout; }

    bool isOpen() const { return line_.isOpen(); }
    const char *openFailure() const override;

    static constexpr uint32_t kReadTotalTimeout = 3000;
    static constexpr uint32_t kReadIntervalTimeout = 500;
    static constexpr uint32_t kWriteTimeout = 3000;
    static constexpr uint32_t kQueueSize = 40960;
    static constexpr int32_t kWritePieceMax = 40480;
    static constexpr uint32_t kBaudRate = 57600;

private:
    bool writeCommand(const uint8_t *command, int32_t commandLength);

    SerialLine line_;   // the port handle: open from a successful open until closePort
    int openError_ = 0; // the error of a failed open
};
