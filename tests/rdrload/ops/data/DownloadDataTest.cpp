// DownloadData_ on a fake port and a virtual clock.

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

struct DownloadCase {
    std::string name;
    std::size_t length;
    std::vector<Answer> answers; // to '5', the letter, the length, the data
    int result;
    std::size_t writes;     // host writes after the wake
    uint64_t lastAckWaitMs; // the timeout of the last acknowledgement awaited
};

std::vector<DownloadCase> downloadCases()
{
    return {
        {"ThreeHundredBytes", 300, {ack(), ack(), ack(), ack()}, 0, 4, 5000},
        {"EmptyBlock", 0, {ack(), ack(), ack(), ack()}, 0, 4, 5000},
        {"LongestBlock", 65535, {ack(), ack(), ack(), ack()}, 0, 4, 5000},
        {"NakToTheRequest", 300, {nak()}, NACK_ERROR, 1, 10000},
        {"LetterRefused", 300, {ack(), nak()}, NACK_ERROR, 2, 1000},
        {"SilenceAfterTheLength", 300, {ack(), ack(), silence()}, TIMEOUT_ERROR, 3, 1000},
        {"WrongByteAfterTheData", 300, {ack(), ack(), ack(), answer({0x41})}, OTHER_ERROR, 4, 5000},
    };
}

void PrintTo(const DownloadCase &c, std::ostream *out)
{
    *out << c.name;
}

class DownloadTable : public ::testing::TestWithParam<DownloadCase> {};

} // namespace

TEST_P(DownloadTable, SendsRequestLetterLengthAndDataEachAcknowledged)
{
    const DownloadCase &c = GetParam();
    FakeLinkEnvironment env;
    FakePort &port = env.serial.port(5);
    AnswerReader reader(c.answers);
    port.setReader(&reader);
    Bytes data = pattern(c.length);

    EXPECT_EQ(
        DownloadData_(data.empty() ? nullptr : data.data(), static_cast<int>(c.length), 'K', 5),
        c.result);

    Bytes all = join(join({'5', 'K'}, lengthField(c.length)), data);
    std::vector<std::size_t> sizes{1, 1, 2, c.length};
    std::vector<Bytes> writes;
    for (const PortEvent &event : port.events()) {
        if (event.kind == PortEvent::Kind::Write)
            writes.push_back(event.data);
    }
    ASSERT_EQ(writes.size(), c.writes);
    std::size_t at = 0;
    for (std::size_t i = 0; i < writes.size(); ++i) {
        EXPECT_EQ(writes[i], Bytes(all.begin() + static_cast<long>(at),
                                   all.begin() + static_cast<long>(at + sizes[i])))
            << "write " << i;
        at += sizes[i];
    }
    EXPECT_EQ(port.timeouts().readConstant, c.lastAckWaitMs);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(env.trace.texts().front(), " - OpenPort 5 Start");
    EXPECT_EQ(env.trace.count("DownloadData OpenPort \n"), 1);
    EXPECT_EQ(env.trace.count("DownloadData ClosePort \n"), c.result == 0 ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Readers, DownloadTable, ::testing::ValuesIn(downloadCases()),
                         [](const auto &info) { return info.param.name; });

TEST(DownloadData, RefusesWhatItCannotSendBeforeOpeningThePort)
{
    FakeLinkEnvironment env;
    FakePort &port = env.serial.port(5);
    Bytes big = pattern(65536);
    unsigned char one = 1;
    // The length field has 16 bits: 65536 would be announced as 0.
    EXPECT_EQ(DownloadData_(big.data(), 65536, 'K', 5), PARAMETER_ERROR);
    EXPECT_EQ(DownloadData_(big.data(), 1 << 20, 'K', 5), PARAMETER_ERROR);
    EXPECT_EQ(DownloadData_(&one, -1, 'K', 5), PARAMETER_ERROR);
    EXPECT_EQ(DownloadData_(nullptr, 5, 'K', 5), NULL_BUFFER);
    EXPECT_EQ(port.openAttempts(), 0);
    EXPECT_TRUE(env.trace.texts().empty());
    EXPECT_EQ(env.clock.nowMs(), 0u);
}

TEST(DownloadData, AFailedOrShortWriteClosesThePortWithOtherError)
{
    for (bool shortWrite : {false, true}) {
        FakeLinkEnvironment env;
        FakePort &port = env.serial.port(5);
        AnswerReader reader({ack(), ack(), ack(), ack()});
        port.setReader(&reader);
        if (shortWrite)
            port.shortenNextWrite(0);
        else
            port.failCall(PortCall::Write);
        unsigned char data[3] = {1, 2, 3};
        EXPECT_EQ(DownloadData_(data, 3, 'K', 5), OTHER_ERROR) << shortWrite;
        EXPECT_FALSE(port.isOpen());
        EXPECT_EQ(env.trace.texts().back(), "DownloadData ClosePort \n");
    }
}
