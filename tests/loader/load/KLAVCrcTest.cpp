#include "load/KLAVCrc.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// Bit-by-bit form of the same checksum, without a table.
std::uint16_t bitwiseKermit(const QByteArray &bytes)
{
    unsigned r = 0;
    for (char c : bytes) {
        r ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit)
            r = (r & 1u) ? (r >> 1) ^ 0x8408u : r >> 1;
    }
    return static_cast<std::uint16_t>(r);
}

} // namespace

TEST(KLAVCrc, CheckValueOfTheNineDigitsIsSentLowByteFirst)
{
    const QByteArray digits("123456789");
    EXPECT_EQ(KLAVCrc::checksum(digits.constData(), 9), 0x2189);
    EXPECT_EQ(KLAVCrc::computeCrc(digits.constData(), 9), QByteArray::fromHex("8921"));
}

TEST(KLAVCrc, NothingGivesZero)
{
    EXPECT_EQ(KLAVCrc::computeCrc(nullptr, 0), QByteArray(2, '\0'));
}

TEST(KLAVCrc, AgreesWithTheBitwiseFormOnEveryTableEntryAndRandomBuffers)
{
    for (int b = 0; b < 256; ++b) {
        const QByteArray one(1, char(b));
        ASSERT_EQ(KLAVCrc::checksum(one.constData(), 1), bitwiseKermit(one)) << b;
    }
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        QByteArray buffer(int(random() % 300), '\0');
        for (char &c : buffer)
            c = char(random());
        ASSERT_EQ(KLAVCrc::checksum(buffer.constData(), size_t(buffer.size())),
                  bitwiseKermit(buffer));
    }
}

TEST(KLAVCrc, CountLimitsTheBytesRead)
{
    const QByteArray bytes("123456789trailing");
    EXPECT_EQ(KLAVCrc::computeCrc(bytes.constData(), 9), QByteArray::fromHex("8921"));
    QByteArray frame("123456789");
    KLAVCrc::appendCrc(frame);
    EXPECT_EQ(frame, QByteArray("123456789") + QByteArray::fromHex("8921"));
}
