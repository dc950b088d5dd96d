#include "KLAVLoadFrames.h"

#include "KLAVCrc.h"
#include "KLAVRequestFrame.h"

#include <algorithm>

namespace {

// Bytes 1 to 6 of the initialisation frame and of the replies.
constexpr char kInitialisationBody[] = "\xC0\x04\x00\x78\x01\x2C";
constexpr char kInitialisationReplyBody[] = "\xE0\x04\x00\x78\x01\x2C";
constexpr char kRequestReplyBody[] = "\x40\x02\x00\x00";

constexpr char kDataLead = 0x01;
constexpr std::uint8_t kNackByte = 0x06;
constexpr int kNackTextOffset = 3;
constexpr char kEndingFrame[] = "\x02\x00\x00";
constexpr char kEndingReply[] = "\x05\x00\x00";

QByteArray framed(std::uint8_t first, const char *body, int bodySize)
{
    QByteArray frame;
    frame.append(char(first));
    frame.append(body, bodySize);
    KLAVCrc::appendCrc(frame);
    return frame;
}

} // namespace

KLAVLoadFrames::KLAVLoadFrames(int pad)
    : padNumber(pad), requestByte(requestByteFor(pad)), replyByte(replyByteFor(pad))
{
}

std::uint8_t KLAVLoadFrames::requestByteFor(int pad)
{
    return static_cast<std::uint8_t>(static_cast<unsigned>(pad) * 16u + 15u);
}

std::uint8_t KLAVLoadFrames::replyByteFor(int pad)
{
    return static_cast<std::uint8_t>(static_cast<unsigned>(pad) - 16u);
}

QByteArray KLAVLoadFrames::initialisation() const
{
    return framed(requestByte, kInitialisationBody, sizeof kInitialisationBody - 1);
}

QByteArray KLAVLoadFrames::initialisationReply() const
{
    return framed(replyByte, kInitialisationReplyBody, sizeof kInitialisationReplyBody - 1);
}

std::optional<QByteArray> KLAVLoadFrames::request(std::int64_t fileSize,
                                                  const QList<QByteArray> &numbers,
                                                  const QList<QByteArray> &texts) const
{
    return KLAVRequestFrame::encode(requestByte, fileSize, numbers, texts);
}

QByteArray KLAVLoadFrames::requestReply() const
{
    return framed(replyByte, kRequestReplyBody, sizeof kRequestReplyBody - 1);
}

char *KLAVLoadFrames::shapeDataFrame(QByteArray &frame, int payloadSize)
{
    frame.resize(kDataHeaderSize + payloadSize);
    frame[0] = kDataLead;
    frame[1] = char(payloadSize >> 8);
    frame[2] = char(payloadSize & 0xFF);
    return frame.data() + kDataHeaderSize;
}

KLAVLoadResult KLAVLoadFrames::dataReplyResult(const QByteArray &reply, QString &nackText)
{
    if (reply.isEmpty())
        return LOAD_NO_RESPONSE;
    const auto lead = std::uint8_t(reply[0]);
    if (lead == kAcceptedByte)
        return LOAD_OK;
    if (lead != kNackByte)
        return LOAD_BLOCK_REFUSED;
    if (reply.size() <= kNackTextOffset)
        return LOAD_NACK_INCOMPLETE;
    const char *text = reply.constData() + kNackTextOffset;
    nackText = QString::fromLatin1(text, int(qstrnlen(text, uint(reply.size() - kNackTextOffset))));
    return LOAD_NACK;
}

QByteArray KLAVLoadFrames::ending()
{
    return QByteArray(kEndingFrame, sizeof kEndingFrame - 1);
}

QByteArray KLAVLoadFrames::endingReply()
{
    return QByteArray(kEndingReply, sizeof kEndingReply - 1);
}

std::uint32_t KLAVLoadFrames::endingTimeout(std::int64_t fileSize, std::uint32_t portTotalTimeout)
{
    const std::int64_t perSize = fileSize * 20000 / 1048576;
    // A time-out of 0 would mean "wait for ever" to a serial driver: a
    // small file still waits the port's normal time.
    return std::uint32_t(std::max<std::int64_t>(perSize, portTotalTimeout));
}
