#include "ThirdPartyUpdate.h"

#include "PortTransfers.h"
#include "link/LinkTrace.h"

#include <algorithm>
#include <array>

namespace rdrload {

namespace {

using Frame = std::array<uint8_t, ThirdPartyUpdate::kFrameSize>;

constexpr uint32_t kWakeWaitMs = 10000;
constexpr uint32_t kInfoWaitMs = 5000;
constexpr uint32_t kPacketWaitMs = 5000;
constexpr uint32_t kInitialAndClosureWaitMs = 60000;
constexpr uint32_t kClosureMark = 0xFFFFFFFFu;
// The largest length the package information can carry.
constexpr unsigned long kMaxAnnounced = 0xFFFFFFFFul;

void putLittleEndian(uint8_t *out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Every frame of the exchange is two 32-bit numbers.
Frame frameOf(uint32_t first, uint32_t second)
{
    Frame frame{};
    putLittleEndian(frame.data(), first);
    putLittleEndian(frame.data() + 4, second);
    return frame;
}

// 0xFF000000 plus the reason, as the negative int a 32-bit result holds.
int refusal(uint8_t reason)
{
    return static_cast<int>(reason) - 0x01000000;
}

} // namespace

ThirdPartyUpdate::ThirdPartyUpdate(const unsigned char *package, unsigned long length, int port,
                                   ProgressCallback callback)
    : package_(package), length_(length), port_(port), progress_(callback, 0, 0)
{
}

int ThirdPartyUpdate::run()
{
    // The wire carries a 32-bit length: a larger package would be announced
    // short and then overrun what the reader expects. And there is nothing
    // to send from a null package.
    if (length_ > kMaxAnnounced || (package_ == nullptr && length_ > 0))
        return PARAMETER_ERROR;

    const int opened = OpenPort(port_, &handle_, kBaudRate);
    if (opened != 0) {
        traceText("ThirdPartyUpdate Open Port Fail\n");
        return opened;
    }
    traceText("ThirdPartyUpdate OpenPort \n");
    int result = wakeAndAsk();
    if (result == 0)
        result = announce();
    if (result == 0)
        result = awaitDecision();
    if (result == 0)
        result = sendInitialPacket();
    if (result == 0)
        result = sendPackets();
    if (result == 0)
        result = finish();
    return result;
}

int ThirdPartyUpdate::fail(const char *trace, int result)
{
    return closeWith(&handle_, trace, result);
}

int ThirdPartyUpdate::wakeAndAsk()
{
    SendDoubleBreak(handle_);
    // The early acknowledgements report 1 whatever went wrong.
    if (CheckACK(&handle_, kWakeWaitMs) != 0)
        return fail("ThirdPartyUpdate Double break ACK Error \n", OPEN_COM_PORT);
    if (!writeWhole(handle_, &kRequest, 1))
        return fail("ThirdPartyUpdate ClosePort \n", OTHER_ERROR);
    progress_.report("Waiting ACK before sending info");
    if (CheckACK(&handle_, kWakeWaitMs) != 0)
        return fail("ThirdPartyUpdateSend character '2' Error \n", OPEN_COM_PORT);
    return 0;
}

int ThirdPartyUpdate::announce()
{
    const Frame information = frameOf(0, static_cast<uint32_t>(length_));
    if (!writeWhole(handle_, information.data(), information.size()))
        return fail("ThirdPartyUpdate send package information Error \n", OTHER_ERROR);
    if (CheckACK(&handle_, kInfoWaitMs) != 0)
        return fail("ThirdPartyUpdateSend send package information ACK Error \n", OPEN_COM_PORT);
    return 0;
}

int ThirdPartyUpdate::awaitDecision()
{
    progress_.report("Waiting mode before sending datas");
    // The read waits as long as the last CheckACK set: 5 s.
    uint8_t decision = 0;
    std::size_t received = 0;
    if (!ReadPort(handle_, &decision, 1, &received) || received != 1)
        return fail("ThirdPartyUpdate check package information Error \n", TIMEOUT_ERROR);
    if (!writeWhole(handle_, &kAck, 1))
        return fail("ThirdPartyUpdate ClosePort 5 \n", OTHER_ERROR);
    if (decision != 0)
        return fail("ThirdPartyUpdate denial\n", refusal(decision));
    return 0;
}

int ThirdPartyUpdate::sendInitialPacket()
{
    traceText("ThirdPartyUpdate initial Step\n");
    progress_.report("Sending initial packet");
    const Frame initial = frameOf(0, 0);
    if (!writeWhole(handle_, initial.data(), initial.size()))
        return fail("ThirdPartyUpdate initial Step error \n", OTHER_ERROR);
    const int acknowledged = CheckACK(&handle_, kInitialAndClosureWaitMs);
    if (acknowledged != 0)
        return fail("ThirdPartyUpdate initial Step ACK Error \n", acknowledged);
    return 0;
}

int ThirdPartyUpdate::sendPackets()
{
    traceText("ThirdPartyUpdate sending packet -");
    const auto total = static_cast<uint32_t>(length_);
    uint32_t sequence = 1;
    for (uint32_t offset = 0; offset < total; ++sequence) {
        const uint32_t length = std::min(kMaxPacket, total - offset);
        const int result = sendPacket(sequence, package_ + offset, length);
        if (result != 0)
            return result;
        offset += length;
    }
    // The header and piece traces of all packets make one line.
    traceText("\n");
    return 0;
}

int ThirdPartyUpdate::sendPacket(uint32_t sequence, const unsigned char *chunk, uint32_t length)
{
    traceText(" H -");
    const Frame header = frameOf(sequence, length);
    if (!writeWhole(handle_, header.data(), header.size())) {
        ClosePort(&handle_);
        traceFormat("\nThirdPartyUpdate sending header Error step %u\n", sequence);
        return OTHER_ERROR;
    }
    int acknowledged = CheckACK(&handle_, kPacketWaitMs);
    if (acknowledged != 0) {
        ClosePort(&handle_);
        traceFormat("\nThirdPartyUpdate Send header ACK Error %u\n", sequence);
        return acknowledged;
    }
    traceText(" P -");
    if (sendPieces(chunk, length) != 0) {
        ClosePort(&handle_);
        traceFormat("\nThirdPartyUpdate sending packet Error%u\n", sequence);
        return OTHER_ERROR;
    }
    const uint32_t done = progress_.done() + length;
    progress_.setCounts(done, static_cast<uint32_t>(length_) - done);
    progress_.reportData("Data transfer...");
    acknowledged = CheckACK(&handle_, kPacketWaitMs);
    if (acknowledged != 0) {
        ClosePort(&handle_);
        traceFormat("\nThirdPartyUpdate Send packet ACK Error %u\n", sequence);
        return acknowledged;
    }
    return 0;
}

int ThirdPartyUpdate::sendPieces(const unsigned char *chunk, uint32_t length)
{
    // Small pieces with a pause after each keep the reader's receive
    // buffer from overflowing.
    for (uint32_t offset = 0; offset < length; offset += kPieceSize) {
        const std::size_t piece = std::min<std::size_t>(kPieceSize, length - offset);
        if (!writeWhole(handle_, chunk + offset, piece))
            return OTHER_ERROR;
        SleepMs(kPiecePauseMs);
    }
    return 0;
}

int ThirdPartyUpdate::finish()
{
    progress_.report("Sending closure packet");
    const Frame closure = frameOf(kClosureMark, 0);
    if (!writeWhole(handle_, closure.data(), closure.size()))
        return fail("ThirdPartyUpdate end error \n", OTHER_ERROR);
    const int acknowledged = CheckACK(&handle_, kInitialAndClosureWaitMs);
    ClosePort(&handle_);
    if (acknowledged != 0) {
        traceText("ThirdPartyUpdate end ACK Error \n");
        return acknowledged;
    }
    traceText("ThirdPartyUpdate ClosePort \n");
    progress_.reportData("\nUpdate package transfer successful\n");
    return 0;
}

} // namespace rdrload
