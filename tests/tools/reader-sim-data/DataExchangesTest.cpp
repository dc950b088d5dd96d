// reader-sim's data exchanges fed byte by byte: what the reader answers to
// each host byte, with every misbehaviour it offers.

#include "DataExchanges.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

using namespace readersim;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNak = 0x15;

struct ExchangeCase {
    std::string name;
    DataFault fault;
    std::vector<Bytes> host;    // what the host sends, step by step
    std::vector<Bytes> answers; // what the reader answers to each step
};

void PrintTo(const ExchangeCase &c, std::ostream *out)
{
    *out << c.name;
}

DataFault fault(DataFault::Kind kind, int step = 1)
{
    DataFault made;
    made.kind = kind;
    made.step = step;
    return made;
}

const Bytes kBlock{'B', 'L', 'K'};
const Bytes kReport{'R', 'E', 'P', 'O'};

std::vector<ExchangeCase> exchangeCases()
{
    using K = DataFault::Kind;
    return {
        {"Upload", {}, {{'6'}, {'D'}, {kAck}, {kAck}}, {{kAck}, {kAck, 3, 0}, kBlock, {}}},
        {"UploadOfAnUnknownLetterIsEmpty",
         {},
         {{'6'}, {'Q'}, {kAck}, {kAck}},
         {{kAck}, {kAck, 0, 0}, {}, {}}},
        {"UploadSilentToTheRequest", fault(K::Silence), {{'6'}}, {{}}},
        {"UploadNakToTheLetter", fault(K::Nak, 2), {{'6'}, {'D'}}, {{kAck}, {kNak}}},
        {"UploadShortLength", fault(K::ShortLength), {{'6'}, {'D'}}, {{kAck}, {kAck, 3}}},
        {"UploadShortData",
         fault(K::ShortData),
         {{'6'}, {'D'}, {kAck}},
         {{kAck}, {kAck, 3, 0}, {'B', 'L'}}},
        {"UploadWrongByteForTheData",
         fault(K::WrongByte, 3),
         {{'6'}, {'D'}, {kAck}},
         {{kAck}, {kAck, 3, 0}, {0x41}}},
        {"Download", {}, {{'5'}, {'K'}, {2, 0}, {9, 8}}, {{kAck}, {kAck}, {kAck}, {kAck}}},
        {"DownloadOfAnEmptyBlock", {}, {{'5'}, {'K'}, {0, 0}}, {{kAck}, {kAck}, {kAck, kAck}}},
        {"DownloadOfARefusedLetter", {}, {{'5'}, {'Z'}}, {{kAck}, {kNak}}},
        {"DownloadNakAfterTheData",
         fault(K::Nak, 4),
         {{'5'}, {'K'}, {1, 0}, {7}},
         {{kAck}, {kAck}, {kAck}, {kNak}}},
        {"TestMode",
         {},
         {{'T'}, {3}, {kAck}, {kAck}, {kAck}},
         {{kAck}, {kAck, 0x5A}, {4, 0}, kReport, {}}},
        {"TestModeSilentStatus", fault(K::Silence, 3), {{'T'}, {3}}, {{kAck}, {kAck}}},
        {"TestModeShortReport",
         fault(K::ShortData),
         {{'T'}, {3}, {kAck}, {kAck}},
         {{kAck}, {kAck, 0x5A}, {4, 0}, {'R', 'E', 'P'}}},
    };
}

class ExchangeTable : public ::testing::TestWithParam<ExchangeCase> {};

} // namespace

TEST_P(ExchangeTable, AnswersEachHostStep)
{
    const ExchangeCase &c = GetParam();
    rdrload::testing::TempFolder folder;
    DataBehaviour behaviour;
    behaviour.uploads['D'] = kBlock;
    behaviour.acceptedLetters = "K";
    behaviour.receivedPath = folder.file("received");
    behaviour.testStatus = 0x5A;
    behaviour.testReport = kReport;
    behaviour.fault = c.fault;
    DataExchanges exchanges(behaviour, nullptr);

    ASSERT_EQ(c.host.size(), c.answers.size());
    for (std::size_t step = 0; step < c.host.size(); ++step) {
        Bytes answer;
        for (uint8_t byte : c.host[step]) {
            Bytes part = step == 0 ? exchanges.start(byte) : exchanges.receive(byte);
            answer.insert(answer.end(), part.begin(), part.end());
        }
        EXPECT_EQ(answer, c.answers[step]) << "step " << step + 1;
    }
    // Every exchange ends where the host stops.
    EXPECT_FALSE(exchanges.active());
}

INSTANTIATE_TEST_SUITE_P(Exchanges, ExchangeTable, ::testing::ValuesIn(exchangeCases()),
                         [](const auto &info) { return info.param.name; });

TEST(DataExchanges, ADownloadIsWrittenWholeToTheReceivedFile)
{
    rdrload::testing::TempFolder folder;
    DataBehaviour behaviour;
    behaviour.receivedPath = folder.file("received");
    std::vector<std::string> journal;
    DataExchanges exchanges(behaviour, [&](const std::string &line) { journal.push_back(line); });
    exchanges.start('5');
    for (uint8_t byte : Bytes{'K', 3, 0, 'a', 'b'})
        exchanges.receive(byte);
    EXPECT_FALSE(std::ifstream(folder.file("received")).good()); // not before the last byte
    EXPECT_EQ(exchanges.receive('c'), Bytes{kAck});
    std::ifstream in(folder.file("received"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
              "abc");
    EXPECT_EQ(journal, std::vector<std::string>{"download letter 4b length 3"});
}

TEST(DataBehaviour, OptionsAndTheirErrors)
{
    DataBehaviour behaviour;
    std::string error;
    EXPECT_TRUE(parseDataOption("--fault", "wrong-byte@3", behaviour, error));
    EXPECT_TRUE(error.empty());
    EXPECT_EQ(behaviour.fault.kind, DataFault::Kind::WrongByte);
    EXPECT_EQ(behaviour.fault.step, 3);
    for (const char *wrong : {"loud", "nak@0", "nak@x", "nak@9"}) {
        error.clear();
        EXPECT_TRUE(parseDataOption("--fault", wrong, behaviour, error));
        EXPECT_FALSE(error.empty()) << wrong;
    }
    error.clear();
    EXPECT_TRUE(parseDataOption("--upload", "D", behaviour, error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_TRUE(parseDataOption("--upload", "D=/nonexistent/file", behaviour, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(parseDataOption("--wake", "ack", behaviour, error));
}
