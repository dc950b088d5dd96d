#include "KLAVPcscPort.h"

#include "base/KLAVLog.h"

#include <cstring>

namespace {

const uint32_t kFeatureRequestCode = SCARD_CTL_CODE(3400);
const uint32_t kFallbackEscapeCode = SCARD_CTL_CODE(3500);
constexpr uint8_t kCarriageReturn = 0x0D;

// PC/SC result codes are logged as their 32-bit value.
unsigned hex32(LONG result)
{
    return unsigned(uint32_t(result));
}

} // namespace

KLAVPcscPort::KLAVPcscPort(const char *readerName)
{
    if (!readerName)
        readerName = "";
    KLAVLogScope scope("KLAVPcscPort::KLAVPcscPort", "KLAVPcscPort::KLAVPcscPort connect to %s",
                       readerName);
    std::memset(exchange_, 0, sizeof exchange_);

    SCARDCONTEXT context = 0;
    if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS)
        context = 0; // the connection below then fails and says why
    context_ = context;

    SCARDHANDLE card = 0;
    DWORD protocol = 0;
    LONG result = SCardConnect(context_, readerName, SCARD_SHARE_DIRECT, 0, &card, &protocol);
    if (result != SCARD_S_SUCCESS) {
        writeLog(LOG_INFO, "KLAVPcscPort SCardConnect failed Error : 0x%x\n", hex32(result));
    } else {
        escapeCode_ = learnEscapeCode(card);
        writeLog(LOG_INFO, "KLAVPcscPort : Reader initialized !! CCID_ESCAPE = SCARD_CTL_CODE(%d)",
                 int(controlFunctionNumber(escapeCode_)));
        card_ = card;
    }
    if (card_ == 0 && context_ != 0) {
        SCardReleaseContext(context_);
        context_ = 0;
    }
}

KLAVPcscPort::~KLAVPcscPort()
{
    KLAVLogScope scope("KLAVPcscPort::~KLAVPcscPort");
    disconnect();
}

// Asks the reader for its feature list; a reader that refuses the request or
// lists no escape feature gets the usual escape code.
uint32_t KLAVPcscPort::learnEscapeCode(SCARDHANDLE card)
{
    uint8_t features[kFeatureListSize];
    std::memset(features, 0, sizeof features);
    DWORD length = sizeof features;
    LONG result =
        SCardControl(card, kFeatureRequestCode, nullptr, 0, features, sizeof features, &length);
    if (result != SCARD_S_SUCCESS) {
        writeLog(LOG_INFO, "KLAVPcscPort CM_IOCTL_GET_FEATURE_REQUEST failed : 0x%x",
                 hex32(result));
        length = 0;
    }
    if (length > sizeof features)
        length = sizeof features;
    uint32_t code = escapeCodeFromFeatures(features, length);
    return code != 0 ? code : kFallbackEscapeCode;
}

uint32_t KLAVPcscPort::escapeCodeFromFeatures(const uint8_t *list, size_t length)
{
    if (!list)
        return 0;
    for (size_t entry = 0; entry < length / 6; ++entry) {
        const uint8_t *item = list + entry * 6;
        if (item[0] != kEscapeFeatureTag)
            continue; // the length byte is not examined
        uint32_t code = uint32_t(item[2]) << 24 | uint32_t(item[3]) << 16 | uint32_t(item[4]) << 8 |
                        uint32_t(item[5]);
        if (code != 0)
            return code;
    }
    return 0;
}

unsigned KLAVPcscPort::controlFunctionNumber(uint32_t code)
{
    // SCARD_CTL_CODE(f) is a base plus f times a step on every platform.
    const uint32_t base = SCARD_CTL_CODE(0);
    const uint32_t step = uint32_t(SCARD_CTL_CODE(1)) - base;
    if (code >= base && step != 0 && (code - base) % step == 0 && (code - base) / step <= 0xFFF)
        return unsigned((code - base) / step);
    return (code >> 2) & 0xFFF;
}

bool KLAVPcscPort::ExecuteCommand(const uint8_t *command, int32_t commandLength, uint8_t *response,
                                  int32_t *responseLength, uint32_t /*readIntervalTimeout*/,
                                  uint32_t /*readTotalTimeout*/,
                                  const KLAVAnswerEnd & /*answerEnd*/)
{
    KLAVLogScope scope("KLAVPcscPort::ExecuteCommand",
                       "KLAVPcscPort::ExecuteCommand : Writing %d bytes", commandLength);
    exchange_[0] = kEscapeLead;
    bool result = false;

    // A capacity above kMaxResponseCapacity would let the answer overrun the
    // exchange buffer, so it is refused like a missing buffer.
    if (!response || !responseLength || *responseLength <= 0 ||
        *responseLength > kMaxResponseCapacity) {
        writeLog(LOG_ERROR, "ExecuteCommand ERR invalid output buff");
        if (responseLength)
            *responseLength = 0;
    } else if (commandLength > kMaxCommand) {
        writeLog(LOG_ERROR, "ExecuteCommand ERR Buffer too long : %d / max=%d", commandLength,
                 kMaxCommand);
        *responseLength = 0;
    } else {
        if (commandLength > 0 && command) {
            std::memcpy(exchange_ + 1, command, size_t(commandLength));
        } else {
            exchange_[1] = kCarriageReturn;
            commandLength = 1;
        }
        DWORD capacity = DWORD(*responseLength) + kAnswerLead;
        DWORD returned = capacity;
        LONG status = SCardControl(card_, escapeCode_, exchange_, DWORD(commandLength) + 1,
                                   exchange_, capacity, &returned);
        if (status != SCARD_S_SUCCESS) {
            writeLog(LOG_ERROR, "ExecuteCommand SCardControl Escape command failed : 0x%x",
                     hex32(status));
            *responseLength = 0;
        } else if (returned < kAnswerLead) {
            writeLog(LOG_ERROR, "ExecuteCommand response too short : %d bytes", int(returned));
            *responseLength = 0;
        } else {
            if (returned > capacity)
                returned = capacity; // never trust a length beyond what was offered
            *responseLength = int32_t(returned - kAnswerLead);
            std::memcpy(response, exchange_ + kAnswerLead, size_t(*responseLength));
            writeLog(LOG_INFO, "ExecuteCommand : got %d bytes", *responseLength);
            result = true;
        }
    }
    return result;
}

bool KLAVPcscPort::closePort()
{
    writeLog(LOG_INFO, "KLAVPcscPort::closePort");
    disconnect();
    return true;
}

void KLAVPcscPort::disconnect()
{
    if (card_ == 0)
        return;
    SCardDisconnect(card_, SCARD_LEAVE_CARD);
    SCardReleaseContext(context_);
    card_ = 0;
    context_ = 0;
}
