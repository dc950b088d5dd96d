#include "load/KLAVRequestFrame.h"
#include "LogCapture.h"
#include "load/KLAVCrc.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Rows = std::vector<QList<QByteArray>>;

// Serves rows like the database cursor and counts how many were asked for.
struct RowFeed {
    Rows rows;
    size_t pulled = 0;
    KLAVRequestFrame::RowSource source()
    {
        return [this]() -> QList<QByteArray> {
            if (pulled >= rows.size()) {
                ++pulled;
                return {};
            }
            return rows[pulled++];
        };
    }
};

QList<QByteArray> row(const QByteArray &number, const QByteArray &text)
{
    return {number, text};
}

QByteArray encoded(std::uint8_t pad, std::int64_t size, const KLAVRequestFrame::Entries &e)
{
    const auto frame = KLAVRequestFrame::encode(pad, size, e.numbers, e.texts);
    return frame ? *frame : QByteArray("<refused>");
}

bool crcHolds(const QByteArray &frame)
{
    const int body = frame.size() - 2;
    return body > 0 && KLAVCrc::computeCrc(frame.constData(), size_t(body)) == frame.mid(body);
}

constexpr std::uint8_t kPad2 = 0x2F;

} // namespace

TEST(KLAVRequestFrame, WorkedExamplesByteForByte)
{
    EXPECT_EQ(encoded(kPad2, 74565, {{"1"}, {"AB"}}),
              QByteArray::fromHex("2F400E050101600480030123458102 4142CE09"));
    EXPECT_EQ(encoded(kPad2, 0, {}), QByteArray::fromHex("2F4007050101600080 00E091"));
}

TEST(KLAVRequestFrame, SizeFieldUsesTheFewestBytesMostSignificantFirst)
{
    struct Case {
        std::int64_t size;
        const char *field; // k followed by the size bytes
    };
    const Case cases[] = {{0, "00"},
                          {1, "0101"},
                          {255, "01FF"},
                          {256, "020100"},
                          {65535, "02FFFF"},
                          {65536, "03010000"},
                          {74565, "03012345"},
                          {1 << 24, "0401000000"},
                          {0x7FFFFFFF, "047FFFFFFF"}};
    for (const Case &c : cases) {
        const QByteArray field = QByteArray::fromHex(c.field);
        const QByteArray frame = encoded(kPad2, c.size, {});
        ASSERT_EQ(frame.size(), 9 + field.size() + 2) << c.size;
        EXPECT_EQ(frame.mid(9, field.size()), field) << c.size;
        EXPECT_EQ(KLAVRequestFrame::sizeFieldLength(c.size), field.size() - 1);
        EXPECT_EQ(quint8(frame[2]), frame.size() - 5) << c.size;
        EXPECT_EQ(frame[7], '\0');
        EXPECT_TRUE(crcHolds(frame)) << c.size;
    }
}

TEST(KLAVRequestFrame, SizesThatTheFieldCannotDescribeAreRefusedWithALogLine)
{
    LogCapture log;
    for (std::int64_t size : {std::int64_t(1) << 31, std::int64_t(1) << 32, std::int64_t(-1)}) {
        EXPECT_FALSE(KLAVRequestFrame::fileSizeFits(size));
        EXPECT_FALSE(KLAVRequestFrame::encode(kPad2, size, {"1"}, {"AB"}).has_value()) << size;
    }
    EXPECT_EQ(
        log.countContaining("Database file of 2147483648 bytes is too large for the request frame"),
        1);
    EXPECT_EQ(log.countContaining("is too large for the request frame"), 3);
    EXPECT_EQ(log.countContaining("File size ="), 0);
}

TEST(KLAVRequestFrame, NumbersOneToFifteenBecomeTagsInReadingOrder)
{
    RowFeed feed;
    for (int n = 15; n >= 1; --n)
        feed.rows.push_back(row(QByteArray::number(n), QByteArray(1, char('a' + n))));
    const auto entries = KLAVRequestFrame::selectEntries(feed.source(), 10);
    ASSERT_EQ(entries.numbers.size(), 15);
    const QByteArray frame = encoded(kPad2, 10, entries);
    for (int i = 0; i < 15; ++i) {
        const int at = 11 + 3 * i; // header, k = 1, one size byte
        EXPECT_EQ(quint8(frame[at]), 0x80 + 15 - i);
        EXPECT_EQ(frame[at + 1], '\x01');
        EXPECT_EQ(frame[at + 2], char('a' + 15 - i));
    }
    EXPECT_EQ(quint8(frame[7]), 45);
}

TEST(KLAVRequestFrame, RowsOutOfRangeAreSkippedAndTheSelectionGoesOn)
{
    LogCapture log;
    RowFeed feed;
    feed.rows = {row("0", "zero"),   row("4", "kept"),   row("16", "sixteen"),
                 row("-1", "minus"), row("abc", "word"), row("3abc", "mixed"),
                 row("", "empty"),   row("2.5", "real"), row("99999999999", "huge"),
                 row("7", "")};
    const auto entries = KLAVRequestFrame::selectEntries(feed.source(), 0);
    EXPECT_EQ(entries.numbers, (QList<QByteArray>{"4", "7"}));
    EXPECT_EQ(entries.texts, (QList<QByteArray>{"kept", ""}));
    EXPECT_EQ(
        log.countContaining("Read an invalid line from R_DBINFO : NUM_CONCEPT is out of range"), 8);
    EXPECT_EQ(log.countContaining("Read a valid line from R_DBINFO"), 2);
    // An empty text still makes an entry: its tag and a zero length.
    EXPECT_EQ(encoded(kPad2, 0, entries).mid(10, 8), QByteArray("\x84\x04kept\x87\x00", 8));
}

TEST(KLAVRequestFrame, BudgetOfExactly255KeepsTheRowAndTheFirstOverflowEndsTheSelection)
{
    RowFeed feed;
    // 9 + (2 + 100) + (2 + 142) = 255.
    feed.rows = {row("1", QByteArray(100, 'x')), row("2", QByteArray(142, 'y')), row("3", ""),
                 row("0", "skipped"), row("4", "z")};
    const auto entries = KLAVRequestFrame::selectEntries(feed.source(), 1000);
    EXPECT_EQ(entries.numbers, (QList<QByteArray>{"1", "2"}));
    EXPECT_EQ(feed.pulled, 3u) << "rows after the overflowing one are not read";
    const QByteArray frame = encoded(kPad2, 1000, entries);
    EXPECT_EQ(quint8(frame[7]), 246);
    EXPECT_EQ(quint8(frame[2]), 7 + 2 + 246);
    EXPECT_TRUE(crcHolds(frame));

    RowFeed one;
    one.rows = {row("1", QByteArray(245, 'x')), row("2", "short")};
    EXPECT_TRUE(KLAVRequestFrame::selectEntries(one.source(), 0).numbers.isEmpty())
        << "a single text past the budget leaves everything out";
}

TEST(KLAVRequestFrame, LengthByteStaysExactForLargeFiles)
{
    struct Case {
        std::int64_t size;
        int longestKeptEntries; // L of the last selection that keeps the row
    };
    // Below 64 KiB the budget of 255 is the limit (L 246); LEN = 7 + k + L
    // must also fit, which trims L for 3- and 4-byte size fields.
    const Case cases[] = {
        {65535, 246}, {65536, 245}, {(1 << 24) - 1, 245}, {1 << 24, 244}, {0x7FFFFFFF, 244}};
    for (const Case &c : cases) {
        for (int entryBytes : {c.longestKeptEntries, c.longestKeptEntries + 1}) {
            RowFeed feed;
            feed.rows = {row("1", QByteArray(entryBytes - 2, 'x')), row("2", "")};
            const auto entries = KLAVRequestFrame::selectEntries(feed.source(), c.size);
            const bool fits = entryBytes == c.longestKeptEntries;
            EXPECT_EQ(entries.numbers.size(), fits ? 1 : 0) << c.size << " L " << entryBytes;
            const QByteArray frame = encoded(kPad2, c.size, entries);
            EXPECT_EQ(quint8(frame[2]), frame.size() - 5) << c.size;
            if (fits) {
                EXPECT_EQ(quint8(frame[2]), 255) << c.size;
            }
        }
    }
}

TEST(KLAVRequestFrame, EncodingRefusesEntriesTheLengthBytesCannotCarry)
{
    LogCapture log;
    EXPECT_FALSE(KLAVRequestFrame::encode(kPad2, 70000, {"1"}, {QByteArray(244, 'x')}).has_value());
    EXPECT_FALSE(KLAVRequestFrame::encode(kPad2, 0, {"1"}, {QByteArray(300, 'x')}).has_value());
    EXPECT_TRUE(KLAVRequestFrame::encode(kPad2, 0, {"1"}, {QByteArray(244, 'x')}).has_value());
    EXPECT_EQ(log.countContaining("do not fit in the request frame"), 2);
}

TEST(KLAVRequestFrame, RowsWithoutATextColumnAndUnpairedListsStaySafe)
{
    RowFeed feed;
    feed.rows = {{"5"}, row("6", "\xC3\xA9t\xC3\xA9")};
    const auto entries = KLAVRequestFrame::selectEntries(feed.source(), 0);
    EXPECT_EQ(entries.texts, (QList<QByteArray>{"", "\xC3\xA9t\xC3\xA9"}));
    // Text lengths count UTF-8 bytes.
    EXPECT_EQ(encoded(kPad2, 0, entries).mid(10, 9),
              QByteArray("\x85\x00\x86\x05\xC3\xA9t\xC3\xA9", 9));

    const auto frame = KLAVRequestFrame::encode(kPad2, 0, {"1", "2", "3"}, {"a"});
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->mid(7, 6), QByteArray("\x03\x80\x00\x81\x01"
                                           "a",
                                           6));
}
