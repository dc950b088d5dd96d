#pragma once

#include <cstdint>

namespace rdrload {

// Device-control record of a serial line, with the fields of the Windows
// record the link layer fills field by field (DCB). Every platform maps it
// onto its own line settings.
struct LineControl {
    uint32_t length = 0; // record size, kLineControlSize when written
    uint32_t baudRate = 0;
    bool binary = false;
    bool parityCheck = false;
    bool outxCtsFlow = false;
    bool outxDsrFlow = false;
    uint8_t dtrControl = 0; // kDtrDisable, kDtrEnable, kDtrHandshake
    bool dsrSensitivity = false;
    bool txContinueOnXoff = false;
    bool outX = false; // XON/XOFF on output
    bool inX = false;  // XON/XOFF on input
    bool errorCharReplace = false;
    bool discardNull = false;
    uint8_t rtsControl = 0; // kRtsDisable, kRtsEnable, kRtsHandshake, kRtsToggle
    bool abortOnError = false;
    uint16_t xonLimit = 0;
    uint16_t xoffLimit = 0;
    uint8_t byteSize = 0;
    uint8_t parity = 0;   // kNoParity, kOddParity, kEvenParity, kMarkParity, kSpaceParity
    uint8_t stopBits = 0; // kOneStopBit, kOne5StopBits, kTwoStopBits
    char xonChar = 0;
    char xoffChar = 0;
    char errorChar = 0;
    char eofChar = 0;
    char eventChar = 0;

    bool operator==(const LineControl &other) const;
    bool operator!=(const LineControl &other) const { return !(*this == other); }
};

constexpr uint32_t kLineControlSize = 28;

constexpr uint8_t kDtrDisable = 0;
constexpr uint8_t kDtrEnable = 1;
constexpr uint8_t kDtrHandshake = 2;
constexpr uint8_t kRtsDisable = 0;
constexpr uint8_t kRtsEnable = 1;
constexpr uint8_t kRtsHandshake = 2;
constexpr uint8_t kRtsToggle = 3;

constexpr uint8_t kNoParity = 0;
constexpr uint8_t kOddParity = 1;
constexpr uint8_t kEvenParity = 2;
constexpr uint8_t kMarkParity = 3;
constexpr uint8_t kSpaceParity = 4;
constexpr uint8_t kOneStopBit = 0;
constexpr uint8_t kOne5StopBits = 1;
constexpr uint8_t kTwoStopBits = 2;

// Timeouts of a line, in milliseconds (the Windows COMMTIMEOUTS fields).
// A read of n bytes waits at most readMultiplier * n + readConstant in
// total (0 and 0: no limit) and readInterval between two bytes (0 or
// kMaxDword: no limit); kMaxDword as interval with both other values 0
// returns at once with what has arrived.
struct PortTimeouts {
    uint32_t readInterval = 0;
    uint32_t readMultiplier = 0;
    uint32_t readConstant = 0;
    uint32_t writeMultiplier = 0;
    uint32_t writeConstant = 0;

    bool operator==(const PortTimeouts &other) const;
    bool operator!=(const PortTimeouts &other) const { return !(*this == other); }
};

constexpr uint32_t kMaxDword = 0xFFFFFFFFu;

// Purge actions, combinable.
constexpr unsigned kPurgeTxAbort = 0x01;
constexpr unsigned kPurgeRxAbort = 0x02;
constexpr unsigned kPurgeTxClear = 0x04;
constexpr unsigned kPurgeRxClear = 0x08;
constexpr unsigned kPurgeAll = 0x0F;

} // namespace rdrload
