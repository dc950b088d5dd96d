#pragma once
// Device port of a terminal behind a PC/SC reader of the terminal maker. No
// card is involved: the port holds a direct connection to the reader and
// carries each command to the terminal inside a CCID escape command (0x11
// followed by the command); the terminal's answer comes back after two
// leading bytes, which the port drops. The escape control code is learned
// from the reader's feature list when it connects, with a fixed fallback.

#include "platform/PcscApi.h"
#include "port/KLAVDevicePort.h"

#include <cstddef>
#include <cstdint>

class KLAVPcscPort : public KLAVDevicePort {
public:
    // Connects at once to the reader of that name; a port whose connection
    // failed exists unconnected and every exchange on it fails.
    explicit KLAVPcscPort(const char *readerName);
    ~KLAVPcscPort() override;
    KLAVPcscPort(const KLAVPcscPort &) = delete;
    KLAVPcscPort &operator=(const KLAVPcscPort &) = delete;

    // The time-out and answer-end arguments are accepted and ignored: the
    // reader hands over each answer whole, and it and its driver bound the
    // length of an exchange.
    bool ExecuteCommand(const uint8_t *command, int32_t commandLength, uint8_t *response,
                        int32_t *responseLength, uint32_t readIntervalTimeout,
                        uint32_t readTotalTimeout,
                        const KLAVAnswerEnd &answerEnd = KLAVAnswerEnd()) override;
    // Disconnects and releases the context; always true.
    bool closePort() override;
    uint32_t getReadTotalTimeout() override { return kReadTotalTimeout; }
    uint32_t getReadIntervalTimeout() override { return kReadIntervalTimeout; }

    bool isConnected() const { return card_ != 0; }
    uint32_t escapeCode() const { return escapeCode_; }

    // The control code of the first entry with the escape tag whose code is
    // not 0, from a feature list of 6-byte entries (tag, length, 4-byte
    // big-endian code); 0 when there is none.
    static uint32_t escapeCodeFromFeatures(const uint8_t *list, size_t length);
    // The function number a control code was built from with the
    // platform's SCARD_CTL_CODE; for a code of another form, bits 2 to 13
    // (the function number of the Windows form).
    static unsigned controlFunctionNumber(uint32_t code);

    static constexpr uint32_t kReadTotalTimeout = 3000;
    static constexpr uint32_t kReadIntervalTimeout = 500;
    static constexpr int32_t kMaxCommand = 30720;
    // The command after the leading 0x11, or the answer after its two
    // leading bytes, fits with room to spare.
    static constexpr size_t kExchangeBufferSize = kMaxCommand + 4;
    static constexpr int32_t kMaxResponseCapacity = int32_t(kExchangeBufferSize) - 2;
    static constexpr uint8_t kEscapeLead = 0x11;
    static constexpr size_t kAnswerLead = 2;
    static constexpr uint8_t kEscapeFeatureTag = 0x13;
    static constexpr size_t kFeatureListSize = 256;

private:
    uint32_t learnEscapeCode(SCARDHANDLE card);
    void disconnect();

    SCARDHANDLE card_ = 0;
    SCARDCONTEXT context_ = 0;
    uint32_t escapeCode_ = 0;
    uint8_t exchange_[kExchangeBufferSize];
};
