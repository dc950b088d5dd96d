// UploadData_ and its fixed-letter companions on a fake port and a virtual
// clock: one table of readers and what the host must make of them.

#include "ops/UploadData.h"
#include "AnswerReader.h"
#include "FakeLinkEnvironment.h"
#include "ThreadProgressLog.h"
#include "api/rdrload.h"
#include "link/SerialLink.h"
#include "platform/ThreadId.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

using namespace rdrload;
using namespace rdrload::testing;

namespace {

constexpr uint8_t kUntouched = 0xEE;

struct UploadCase {
    std::string name;
    char letter;
    int size;
    std::vector<Answer> answers; // to '6', the letter, the 1st and the 2nd ACK
    int result;
    Bytes written; // every byte the host wrote after the wake
    std::size_t reports;
    std::string lastTrace;
    Bytes copied; // the start of the buffer afterwards
};

Bytes hostBytes(char letter, int acks)
{
    Bytes bytes{'6', static_cast<uint8_t>(letter)};
    for (int i = 0; i < acks; ++i)
        bytes.push_back(kAck);
    return bytes;
}

std::vector<UploadCase> uploadCases()
{
    const Bytes data = pattern(300);
    const Answer lengthOf300 = answer(join({kAck}, lengthField(300)));
    return {
        {"ThreeHundredBytes",
         'D',
         300,
         {ack(), lengthOf300, answer(data), silence()},
         -300,
         hostBytes('D', 2),
         13,
         "UploadData ClosePort OK\n",
         data},
        {"EmptyAnswerLeavesTheBufferAlone",
         'D',
         10,
         {ack(), answer(join({kAck}, lengthField(0))), silence(), silence()},
         0,
         hostBytes('D', 2),
         13,
         "UploadData ClosePort OK\n",
         Bytes(10, kUntouched)},
        {"TooBigForTheBufferAfterBothAcks",
         'D',
         299,
         {ack(), lengthOf300, answer(data), silence()},
         DATA_SIZE_ERROR,
         hostBytes('D', 2),
         12,
         "UploadData ClosePort DATA_SIZE_ERROR\n",
         Bytes(299, kUntouched)},
        {"NegativeSizeHoldsNothing",
         'D',
         -1,
         {ack(), answer(join({kAck}, lengthField(1))), answer({0x41}), silence()},
         DATA_SIZE_ERROR,
         hostBytes('D', 2),
         12,
         "UploadData ClosePort DATA_SIZE_ERROR\n",
         Bytes(4, kUntouched)},
        // Length and size compare as signed numbers: 0 > -5.
        {"NegativeSizeRefusesEvenAnEmptyAnswer",
         'D',
         -5,
         {ack(), answer(join({kAck}, lengthField(0))), silence(), silence()},
         DATA_SIZE_ERROR,
         hostBytes('D', 2),
         12,
         "UploadData ClosePort DATA_SIZE_ERROR\n",
         Bytes(4, kUntouched)},
        {"ZeroSizeTakesAnEmptyAnswer",
         'D',
         0,
         {ack(), answer(join({kAck}, lengthField(0))), silence(), silence()},
         0,
         hostBytes('D', 2),
         13,
         "UploadData ClosePort OK\n",
         Bytes(4, kUntouched)},
        {"DataInTwoPiecesTakesASecondRead",
         'D',
         300,
         {ack(), lengthOf300,
          Answer{Bytes(data.begin(), data.begin() + 100), 0, Bytes(data.begin() + 100, data.end()),
                 10400},
          silence()},
         -300,
         hostBytes('D', 2),
         13,
         "UploadData ClosePort OK\n",
         data},
        {"NakToTheRequest",
         'D',
         300,
         {nak()},
         NACK_ERROR,
         {'6'},
         4,
         "UploadData ClosePort CheckACK 2\n",
         Bytes(4, kUntouched)},
        {"WrongByteToTheRequest",
         'D',
         300,
         {answer({0x41})},
         OTHER_ERROR,
         {'6'},
         4,
         "UploadData ClosePort CheckACK 2\n",
         Bytes(4, kUntouched)},
        {"SilenceAfterTheLetter",
         'D',
         300,
         {ack(), silence()},
         TIMEOUT_ERROR,
         hostBytes('D', 0),
         7,
         "UploadData ClosePort CheckACK 3\n",
         Bytes(4, kUntouched)},
        {"ShortLength",
         'D',
         300,
         {ack(), answer({kAck, 0x2C})},
         TIMEOUT_ERROR,
         hostBytes('D', 0),
         8,
         "UploadData ClosePort TIMEOUT_ERROR 2\n",
         Bytes(4, kUntouched)},
        {"ShortData",
         'D',
         300,
         {ack(), lengthOf300, answer(Bytes(data.begin(), data.end() - 1)), silence()},
         TIMEOUT_ERROR,
         hostBytes('D', 1),
         10,
         "UploadData ClosePort TIMEOUT_ERROR 3\n",
         Bytes(4, kUntouched)},
    };
}

void PrintTo(const UploadCase &c, std::ostream *out)
{
    *out << c.name;
}

class UploadTable : public ::testing::TestWithParam<UploadCase> {};

} // namespace

TEST_P(UploadTable, EndsWithTheExpectedResultBytesReportsAndTrace)
{
    const UploadCase &c = GetParam();
    FakeLinkEnvironment env;
    FakePort &port = env.serial.port(4);
    AnswerReader reader(c.answers);
    port.setReader(&reader);
    std::vector<uint8_t> buffer(400, kUntouched);
    progressLog().clear();

    EXPECT_EQ(UploadData_(buffer.data(), c.letter, c.size, 4, progressLogCallback), c.result);

    EXPECT_EQ(port.written(), c.written);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + static_cast<long>(c.copied.size())), c.copied);
    EXPECT_EQ(buffer[c.copied.size()], kUntouched);
    ASSERT_EQ(progressLog().size(), c.reports);
    for (std::size_t i = 0; i < c.reports; ++i) {
        const SeenReport &report = progressLog()[i];
        EXPECT_EQ(report.done, 20 * (i + 1));
        EXPECT_EQ(report.remaining, 260u);
        EXPECT_EQ(report.text, "UploadData\n");
        EXPECT_EQ(report.threshold, 0u);
        EXPECT_EQ(report.threadId, currentThreadId());
    }
    ASSERT_FALSE(env.trace.texts().empty());
    EXPECT_EQ(env.trace.texts().front(), "UploadData ");
    EXPECT_EQ(env.trace.texts().back(), c.lastTrace);
    // The 2 s pause comes before the port is opened.
    ASSERT_FALSE(port.events().empty());
    EXPECT_EQ(port.events().front().atMs, 2000u);
}

INSTANTIATE_TEST_SUITE_P(Readers, UploadTable, ::testing::ValuesIn(uploadCases()),
                         [](const auto &info) { return info.param.name; });

TEST(UploadData, NullBufferIsRefusedBeforeAnything)
{
    FakeLinkEnvironment env;
    FakePort &port = env.serial.port(4);
    progressLog().clear();
    EXPECT_EQ(UploadData_(nullptr, 'D', 10, 4, progressLogCallback), NULL_BUFFER);
    EXPECT_EQ(port.openAttempts(), 0);
    EXPECT_TRUE(progressLog().empty());
    EXPECT_EQ(env.clock.nowMs(), 0u);
}

TEST(UploadData, AMissingPortIsClosedAgainAndReturnsOne)
{
    FakeLinkEnvironment env;
    progressLog().clear();
    unsigned char buffer[4] = {};
    EXPECT_EQ(UploadData_(buffer, 'D', 4, 9, progressLogCallback), OPEN_COM_PORT);
    EXPECT_TRUE(progressLog().empty());
    EXPECT_EQ(env.trace.texts().back(), "UploadData ClosePort OpenPort\n");
    EXPECT_EQ(env.trace.count("CloseHandle NULL !!\n"), 1);
    // 2 s first, 10 s of opening attempts, 1 s after the close.
    EXPECT_EQ(env.clock.nowMs(), 13000u);
}

TEST(UploadData, AFailedRequestWriteIsATimeout)
{
    FakeLinkEnvironment env;
    FakePort &port = env.serial.port(4);
    AnswerReader reader({});
    port.setReader(&reader);
    port.failCall(PortCall::Write);
    unsigned char buffer[4] = {};
    EXPECT_EQ(UploadData_(buffer, 'D', 4, 4, nullptr), TIMEOUT_ERROR);
    EXPECT_EQ(env.trace.texts().back(), "UploadData ClosePort TIMEOUT_ERROR 1\n");
    EXPECT_FALSE(port.isOpen());
}

// The slow data types get 20 s to answer the letter, the others 10 s; the
// fixed-letter exports send their own letter.
struct LetterCase {
    std::string name;
    int (*run)(unsigned char *buffer, int size);
    uint8_t letterSent;
    uint64_t answerAfterMs;
    int result;
};

void PrintTo(const LetterCase &c, std::ostream *out)
{
    *out << c.name;
}

class LetterTable : public ::testing::TestWithParam<LetterCase> {};

int uploadR(unsigned char *buffer, int size)
{
    return UploadData_(buffer, 'R', size, 4, nullptr);
}
int readerType(unsigned char *buffer, int size)
{
    return ReaderType_(reinterpret_cast<char *>(buffer), size, 4, nullptr);
}

TEST_P(LetterTable, WaitsForTheLetterAcknowledgementAsLongAsItsTypeAllows)
{
    const LetterCase &c = GetParam();
    FakeLinkEnvironment env;
    FakePort &port = env.serial.port(4);
    AnswerReader reader({ack(), answer(join({kAck}, lengthField(3)), c.answerAfterMs),
                         answer({'T', 'Y', 'P'}), silence()});
    port.setReader(&reader);
    unsigned char buffer[8] = {};
    EXPECT_EQ(c.run(buffer, 8), c.result);
    ASSERT_GE(port.written().size(), 2u);
    EXPECT_EQ(port.written()[1], c.letterSent);
    if (c.result < 0) {
        EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), 3), "TYP");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Letters, LetterTable,
    ::testing::Values(LetterCase{"TypeAnsweredAt9s", readerType, 'Y', 9999, -3},
                      LetterCase{"TypeSilentFor10s", readerType, 'Y', 10002, TIMEOUT_ERROR},
                      LetterCase{"RAnsweredAt19s", uploadR, 'R', 19999, -3},
                      LetterCase{"RSilentFor20s", uploadR, 'R', 20002, TIMEOUT_ERROR}),
    [](const auto &info) { return info.param.name; });
