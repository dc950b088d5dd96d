#pragma once
// The frames of one load and the replies that confirm them, made from the
// PAD number and the inputs alone: no port, no file, so they are tested
// directly. KLAVUsbConnector sends them.
//
// Wire format (bytes in sending order, CRC = CRC-16/KERMIT low byte first):
//   init     PADreq C0 04 00 78 01 2C CRC   -> PADrep E0 04 00 78 01 2C CRC
//   request  PADreq 40 LEN 05 01 01 60 L 80 k size entries CRC
//                                          -> PADrep 40 02 00 00 CRC
//   data     01 nHigh nLow payload[n]      -> 05 accepted, 06 .. .. text NACK,
//                                             anything else refused
//   ending   02 00 00                      -> 05 00 00
// PADreq is PAD x 16 + 15 and PADrep PAD - 16, each modulo 256. Bytes 3 and
// 4 of the initialisation frame (least significant first) are 30720, the
// largest data frame. The request frame is laid out by KLAVRequestFrame.

#include "load/KLAVLoadResult.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

class KLAVLoadFrames {
public:
    explicit KLAVLoadFrames(int pad);

    int pad() const { return padNumber; }
    std::uint8_t padRequestByte() const { return requestByte; }
    std::uint8_t padReplyByte() const { return replyByte; }
    static std::uint8_t requestByteFor(int pad);
    static std::uint8_t replyByteFor(int pad);

    // The 9-byte initialisation frame and the reply that confirms it.
    QByteArray initialisation() const;
    QByteArray initialisationReply() const;

    // The request frame announcing a file of fileSize bytes with these
    // entries (paired by index); none, and logged, when the size or the
    // entries cannot be described.
    std::optional<QByteArray> request(std::int64_t fileSize, const QList<QByteArray> &numbers,
                                      const QList<QByteArray> &texts) const;
    // The 7-byte reply that confirms the request frame.
    QByteArray requestReply() const;

    static constexpr int kDataHeaderSize = 3;
    // The largest payload of one data frame: with its header, 30720 bytes.
    static constexpr int kLargestPayload = 30717;
    // Room for a reply to a data frame, a NACK's text included.
    static constexpr int kDataReplyCapacity = 255;
    // The first byte of a reply that accepts a data frame.
    static constexpr std::uint8_t kAcceptedByte = 0x05;

    // Makes frame a data frame for payloadSize bytes (1 to kLargestPayload):
    // the header is written, and the payload goes where the returned pointer
    // points, so a block is read from the file straight into its frame.
    static char *shapeDataFrame(QByteArray &frame, int payloadSize);

    // What a reply to a data frame says: LOAD_OK when it begins with 05;
    // LOAD_NACK when it begins with 06 and holds more than three bytes, its
    // text (from the fourth byte up to a zero byte) then in nackText;
    // LOAD_NACK_INCOMPLETE for a shorter 06 reply; LOAD_BLOCK_REFUSED for any
    // other first byte; LOAD_NO_RESPONSE when it is empty. nackText is only
    // written for LOAD_NACK.
    static KLAVLoadResult dataReplyResult(const QByteArray &reply, QString &nackText);

    // The 3-byte ending frame and the reply that confirms it.
    static QByteArray ending();
    static QByteArray endingReply();

    // Time-out of the ending exchange: 20 s per MiB of database, never less
    // than the port's normal total time-out.
    static std::uint32_t endingTimeout(std::int64_t fileSize, std::uint32_t portTotalTimeout);

private:
    std::int32_t padNumber;
    std::uint8_t requestByte;
    std::uint8_t replyByte;
};
