// testMode_ on a fake port and a virtual clock.

#include "AnswerReader.h"
#include "FakeLinkEnvironment.h"
#include "api/rdrload.h"
#include "link/SerialLink.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

using namespace rdrload;
using namespace rdrload::testing;

namespace {

constexpr uint8_t kUntouched = 0xEE;
constexpr uint8_t kStatus = 0x5A;

struct TestModeCase {
    std::string name;
    uint8_t test;
    int size;
    // To 'T', the test number (ACK and later the status byte), the ACK of
    // the status (the length), the ACK of the length (the report).
    std::vector<Answer> answers;
    int result;
    Bytes written; // every byte the host wrote after the wake
    Bytes stored;  // the start of the buffer afterwards
    std::string lastTrace;
};

Answer ackThenStatus(uint64_t afterMs)
{
    return Answer{{kAck}, 0, {kStatus}, afterMs};
}

std::vector<TestModeCase> testModeCases()
{
    const Bytes report{'R', 'E', 'P', 'O', 'K'};
    const Bytes stored = join(join({kStatus}, lengthField(5)), report);
    const std::vector<Answer> fiveBytes{ack(), ackThenStatus(200), answer(lengthField(5)),
                                        answer(report), silence()};
    return {
        {"FiveByteReportStoresEight",
         3,
         8,
         fiveBytes,
         -8,
         {'T', 3, kAck, kAck, kAck},
         stored,
         "testMode ClosePort no error\n"},
        {"SevenBytesDoNotHoldIt",
         3,
         7,
         fiveBytes,
         DATA_SIZE_ERROR,
         {'T', 3, kAck, kAck, kAck},
         Bytes(8, kUntouched),
         "testMode ClosePort DATA_SIZE_ERROR\n"},
        {"NegativeSizeHoldsNothing",
         3,
         -3,
         fiveBytes,
         DATA_SIZE_ERROR,
         {'T', 3, kAck, kAck, kAck},
         Bytes(8, kUntouched),
         "testMode ClosePort DATA_SIZE_ERROR\n"},
        {"EmptyReportIsNotAcknowledged",
         3,
         3,
         {ack(), ackThenStatus(0), answer(lengthField(0)), silence()},
         -3,
         {'T', 3, kAck, kAck},
         join({kStatus}, lengthField(0)),
         "testMode ClosePort no error\n"},
        {"FullTestAnswersWithin90s",
         0xFF,
         8,
         {ack(), ackThenStatus(89990), answer(lengthField(5)), answer(report), silence()},
         -8,
         {'T', 0xFF, kAck, kAck, kAck},
         stored,
         "testMode ClosePort no error\n"},
        {"FullTestSilentFor90s",
         0xFF,
         8,
         {ack(), ackThenStatus(90010)},
         TIMEOUT_ERROR,
         {'T', 0xFF},
         Bytes(8, kUntouched),
         "testMode ClosePort TIMEOUT_ERROR 1\n"},
        {"OtherTestSilentFor30s",
         1,
         8,
         {ack(), ackThenStatus(30010)},
         TIMEOUT_ERROR,
         {'T', 1},
         Bytes(8, kUntouched),
         "testMode ClosePort TIMEOUT_ERROR 1\n"},
        {"ShortLength",
         3,
         8,
         {ack(), ackThenStatus(0), answer({5})},
         TIMEOUT_ERROR,
         {'T', 3, kAck},
         Bytes(8, kUntouched),
         "testMode ClosePort TIMEOUT_ERROR 2\n"},
        {"ShortReport",
         3,
         8,
         {ack(), ackThenStatus(0), answer(lengthField(5)), answer({'R', 'E', 'P', 'O'})},
         TIMEOUT_ERROR,
         {'T', 3, kAck, kAck},
         Bytes(8, kUntouched),
         "testMode ClosePort TIMEOUT_ERROR 3\n"},
        {"NakToTheTestNumber",
         3,
         8,
         {ack(), nak()},
         NACK_ERROR,
         {'T', 3},
         Bytes(8, kUntouched),
         "CheckACK NACK received\n"},
    };
}

void PrintTo(const TestModeCase &c, std::ostream *out)
{
    *out << c.name;
}

class TestModeTable : public ::testing::TestWithParam<TestModeCase> {};

} // namespace

TEST_P(TestModeTable, CollectsStatusLengthAndReport)
{
    const TestModeCase &c = GetParam();
    FakeLinkEnvironment env;
    FakePort &port = env.serial.port(6);
    AnswerReader reader(c.answers);
    port.setReader(&reader);
    std::vector<uint8_t> buffer(16, kUntouched);

    EXPECT_EQ(testMode_(static_cast<char>(c.test), buffer.data(), c.size, 6), c.result);

    EXPECT_EQ(port.written(), c.written);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + static_cast<long>(c.stored.size())), c.stored);
    EXPECT_EQ(buffer[c.stored.size()], kUntouched);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(env.trace.texts().back(), c.lastTrace);
}

INSTANTIATE_TEST_SUITE_P(Readers, TestModeTable, ::testing::ValuesIn(testModeCases()),
                         [](const auto &info) { return info.param.name; });

TEST(TestMode, NullBufferAndFailedRequestWrite)
{
    FakeLinkEnvironment env;
    FakePort &port = env.serial.port(6);
    EXPECT_EQ(testMode_(1, nullptr, 8, 6), NULL_BUFFER);
    EXPECT_EQ(port.openAttempts(), 0);

    AnswerReader reader({ack(), ack()});
    port.setReader(&reader);
    port.failCall(PortCall::Write);
    unsigned char buffer[8] = {};
    EXPECT_EQ(testMode_(1, buffer, 8, 6), WRITE_ERROR);
    EXPECT_EQ(env.trace.texts().back(), "testMode ClosePort WRITE_ERROR 1\n");
    EXPECT_FALSE(port.isOpen());
}
