// The frames of a load and the replies that confirm them, from the PAD
// number and the inputs: bytes, data frame headers, what a data reply
// means and the ending's time-out.

#include "load/KLAVLoadFrames.h"
#include "load/KLAVRequestFrame.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

} // namespace

TEST(KLAVLoadFrames, InitialisationAndRequestRepliesForPad2And3)
{
    struct Row {
        int pad;
        std::uint8_t requestByte;
        std::uint8_t replyByte;
        const char *initialisation;
        const char *initialisationReply;
        const char *requestReply;
    };
    const Row rows[] = {
        {2, 0x2F, 0xF2, "2FC0040078012CB8E4", "F2E0040078012C45BB", "F240020000212A"},
        {3, 0x3F, 0xF3, "3FC0040078012C7151", "F3E0040078012C9024", "F3400200006521"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.pad);
        const KLAVLoadFrames frames(row.pad);
        EXPECT_EQ(frames.pad(), row.pad);
        EXPECT_EQ(frames.padRequestByte(), row.requestByte);
        EXPECT_EQ(frames.padReplyByte(), row.replyByte);
        EXPECT_EQ(frames.initialisation().toHex(), hex(row.initialisation).toHex());
        EXPECT_EQ(frames.initialisationReply().toHex(), hex(row.initialisationReply).toHex());
        EXPECT_EQ(frames.requestReply().toHex(), hex(row.requestReply).toHex());
    }
}

TEST(KLAVLoadFrames, PadBytesWrapModulo256AndCopiesKeepThem)
{
    EXPECT_EQ(KLAVLoadFrames::requestByteFor(0), 0x0F);
    EXPECT_EQ(KLAVLoadFrames::replyByteFor(0), 0xF0);
    EXPECT_EQ(KLAVLoadFrames::requestByteFor(15), 0xFF);
    EXPECT_EQ(KLAVLoadFrames::replyByteFor(15), 0xFF);
    EXPECT_EQ(KLAVLoadFrames::requestByteFor(16), 0x0F);
    EXPECT_EQ(KLAVLoadFrames::replyByteFor(16), 0x00);
    EXPECT_EQ(KLAVLoadFrames::requestByteFor(-1), 0xFF);
    EXPECT_EQ(KLAVLoadFrames::requestByteFor(0x7FFFFFFF), 0xFF);

    const KLAVLoadFrames original(14);
    KLAVLoadFrames assigned(2);
    assigned = original;
    const KLAVLoadFrames copied(original);
    for (const KLAVLoadFrames *f : {static_cast<const KLAVLoadFrames *>(&assigned), &copied}) {
        EXPECT_EQ(f->pad(), 14);
        EXPECT_EQ(f->padRequestByte(), 0xEF);
        EXPECT_EQ(f->padReplyByte(), 0xFE);
        EXPECT_EQ(f->initialisation(), original.initialisation());
    }
}

// The request frame is KLAVRequestFrame's, under this PAD's request byte.
TEST(KLAVLoadFrames, RequestCarriesThePadRequestByte)
{
    const KLAVLoadFrames frames(3);
    const auto request = frames.request(1024, {"1"}, {"AB"});
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(*request, *KLAVRequestFrame::encode(0x3F, 1024, {"1"}, {"AB"}));
    EXPECT_EQ(request->left(2), hex("3F40"));
    EXPECT_FALSE(frames.request(KLAVRequestFrame::kLargestFileSize + 1, {}, {}).has_value());
}

TEST(KLAVLoadFrames, DataFramesHaveTheirSizeInTheHeaderAndThePayloadAfterIt)
{
    struct Row {
        int payloadSize;
        const char *header;
    };
    const Row rows[] = {{1, "010001"}, {255, "0100FF"}, {256, "010100"}, {30717, "0177FD"}};
    QByteArray frame(5, 'x'); // one buffer for every block, as in a load
    for (const Row &row : rows) {
        SCOPED_TRACE(row.payloadSize);
        char *payload = KLAVLoadFrames::shapeDataFrame(frame, row.payloadSize);
        EXPECT_EQ(frame.size(), KLAVLoadFrames::kDataHeaderSize + row.payloadSize);
        EXPECT_EQ(payload, frame.data() + KLAVLoadFrames::kDataHeaderSize);
        std::memset(payload, 'p', size_t(row.payloadSize));
        EXPECT_EQ(frame.left(3).toHex(), QByteArray(row.header).toLower());
        EXPECT_EQ(frame.mid(3), QByteArray(row.payloadSize, 'p'));
    }
    EXPECT_EQ(KLAVLoadFrames::kDataHeaderSize + KLAVLoadFrames::kLargestPayload, 30720);
}

TEST(KLAVLoadFrames, WhatADataReplySays)
{
    struct Row {
        const char *name;
        QByteArray reply;
        KLAVLoadResult result;
        QString nackText; // what nackText holds after, starting from "unchanged"
    };
    const Row rows[] = {
        {"silence", {}, LOAD_NO_RESPONSE, "unchanged"},
        {"acceptance", hex("05"), LOAD_OK, "unchanged"},
        {"acceptance with a tail", hex("05FFFF"), LOAD_OK, "unchanged"},
        {"NACK with its text", hex("060003") + "Err", LOAD_NACK, "Err"},
        {"NACK text ends at a zero byte", hex("060005") + QByteArray("Ab\0cd", 5), LOAD_NACK, "Ab"},
        {"NACK text of Latin-1 bytes", hex("060002E9E0"), LOAD_NACK,
         QString::fromLatin1("\xE9\xE0")},
        {"NACK with an empty text", hex("06000000"), LOAD_NACK, ""},
        {"NACK alone", hex("06"), LOAD_NACK_INCOMPLETE, "unchanged"},
        {"NACK without text", hex("060001"), LOAD_NACK_INCOMPLETE, "unchanged"},
        {"another first byte", hex("15"), LOAD_BLOCK_REFUSED, "unchanged"},
        {"a 05 after another byte", hex("0705"), LOAD_BLOCK_REFUSED, "unchanged"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        QString nackText = QStringLiteral("unchanged");
        EXPECT_EQ(KLAVLoadFrames::dataReplyResult(row.reply, nackText), row.result);
        EXPECT_EQ(nackText, row.nackText);
    }
}

TEST(KLAVLoadFrames, EndingFrameAndItsReply)
{
    EXPECT_EQ(KLAVLoadFrames::ending(), hex("020000"));
    EXPECT_EQ(KLAVLoadFrames::endingReply(), hex("050000"));
}

TEST(EndingTimeout, TwentySecondsPerMebibyteButNeverBelowThePortTimeout)
{
    EXPECT_EQ(KLAVLoadFrames::endingTimeout(40000, 0), 762u);
    EXPECT_EQ(KLAVLoadFrames::endingTimeout(40000, 3000), 3000u);
    EXPECT_EQ(KLAVLoadFrames::endingTimeout(0, 3000), 3000u);
    EXPECT_EQ(KLAVLoadFrames::endingTimeout(52, 3000), 3000u);
    EXPECT_EQ(KLAVLoadFrames::endingTimeout(5 * 1048576, 3000), 100000u);
    EXPECT_EQ(KLAVLoadFrames::endingTimeout(0x7FFFFFFF, 3000), 40959999u);
}
