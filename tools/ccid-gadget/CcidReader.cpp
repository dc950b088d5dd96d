#include "CcidReader.h"

#include <algorithm>

namespace {

// PC_to_RDR message types.
constexpr uint8_t kIccPowerOn = 0x62;
constexpr uint8_t kIccPowerOff = 0x63;
constexpr uint8_t kGetSlotStatus = 0x65;
constexpr uint8_t kGetParameters = 0x6C;
constexpr uint8_t kResetParameters = 0x6D;
constexpr uint8_t kSetParameters = 0x61;
constexpr uint8_t kEscape = 0x6B;
constexpr uint8_t kXfrBlock = 0x6F;
constexpr uint8_t kAbort = 0x72;
constexpr uint8_t kSetDataRateAndClock = 0x73;

// RDR_to_PC message types.
constexpr uint8_t kDataBlock = 0x80;
constexpr uint8_t kSlotStatus = 0x81;
constexpr uint8_t kParameters = 0x82;
constexpr uint8_t kEscapeAnswer = 0x83;
constexpr uint8_t kDataRateAndClock = 0x84;

// bStatus: bmICCStatus 2 (no card), bmCommandStatus 0 (done) or 1 (failed).
constexpr uint8_t kNoCard = 0x02;
constexpr uint8_t kFailedNoCard = 0x42;
// bError.
constexpr uint8_t kIccMute = 0xFE;
constexpr uint8_t kHardwareError = 0xFB;
constexpr uint8_t kCommandNotSupported = 0x00;

void putLe32(std::vector<uint8_t> &out, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[at + size_t(i)] = uint8_t(value >> (8 * i));
}

std::vector<uint8_t> reply(uint8_t type, const std::vector<uint8_t> &message, uint8_t status,
                           uint8_t error, const std::vector<uint8_t> &data = {})
{
    std::vector<uint8_t> out(CcidReader::kHeaderSize + data.size(), 0);
    out[0] = type;
    putLe32(out, 1, uint32_t(data.size()));
    out[5] = message[5]; // bSlot
    out[6] = message[6]; // bSeq
    out[7] = status;
    out[8] = error;
    std::copy(data.begin(), data.end(), out.begin() + CcidReader::kHeaderSize);
    return out;
}

} // namespace

std::vector<uint8_t> CcidReader::answer(const std::vector<uint8_t> &message)
{
    if (message.size() < kHeaderSize)
        return {};
    const uint8_t type = message[0];
    if (message[5] != 0) // one slot: bSlot 0 only ("slot does not exist", error 5)
        return reply(kSlotStatus, message, 0x42, 0x05);
    switch (type) {
    case kGetSlotStatus:
    case kIccPowerOff:
    case kAbort:
        return reply(kSlotStatus, message, kNoCard, 0);
    case kIccPowerOn:
    case kXfrBlock:
        return reply(kDataBlock, message, kFailedNoCard, kIccMute);
    case kGetParameters:
    case kResetParameters:
    case kSetParameters:
        return reply(kParameters, message, kFailedNoCard, kIccMute);
    case kSetDataRateAndClock:
        return reply(kDataRateAndClock, message, kFailedNoCard, kIccMute);
    case kEscape: {
        std::vector<uint8_t> out(kMaxMessageLength - kHeaderSize);
        DWORD returned = 0;
        const DWORD inLength = DWORD(message.size() - kHeaderSize);
        RESPONSECODE code =
            reader_.control(reader_.config().escapeCode, message.data() + kHeaderSize, inLength,
                            out.data(), DWORD(out.size()), returned);
        if (code != IFD_SUCCESS)
            return reply(kEscapeAnswer, message, kFailedNoCard, kHardwareError);
        out.resize(returned);
        return reply(kEscapeAnswer, message, kNoCard, 0, out);
    }
    default:
        return reply(kSlotStatus, message, kFailedNoCard, kCommandNotSupported);
    }
}

std::vector<uint8_t> CcidReader::classDescriptor()
{
    std::vector<uint8_t> d(54, 0);
    d[0] = 54;   // bLength
    d[1] = 0x21; // the CCID functional descriptor
    d[2] = 0x10; // bcdCCID 1.10
    d[3] = 0x01;
    d[4] = 0;               // bMaxSlotIndex: one slot
    d[5] = 0x07;            // bVoltageSupport: 5 V, 3 V, 1.8 V
    putLe32(d, 6, 0x03);    // dwProtocols: T=0 and T=1
    putLe32(d, 10, 3580);   // dwDefaultClock, kHz
    putLe32(d, 14, 3580);   // dwMaximumClock
    d[18] = 0;              // bNumClockSupported
    putLe32(d, 19, 9600);   // dwDataRate, bps
    putLe32(d, 23, 115200); // dwMaxDataRate
    d[27] = 0;              // bNumDataRatesSupported
    putLe32(d, 28, 254);    // dwMaxIFSD
    putLe32(d, 32, 0);      // dwSynchProtocols
    putLe32(d, 36, 0);      // dwMechanical
    // dwFeatures: automatic parameters from the ATR, voltage, clock, baud
    // rate and PPS; short APDU level exchanges.
    putLe32(d, 40, 0x000200BA);
    putLe32(d, 44, kMaxMessageLength);
    d[48] = 0xFF; // bClassGetResponse: echo the APDU's class
    d[49] = 0xFF; // bClassEnvelope
    // wLcdLayout 0, bPINSupport 0
    d[53] = 1; // bMaxCCIDBusySlots
    return d;
}
