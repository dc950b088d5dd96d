// KLAVPcscPort against a real pcscd serving test readers, whose escape
// commands reach the simulated terminal's protocol engine.

#include "LogCapture.h"
#include "PrivatePcscd.h"
#include "TextFile.h"

#include "Crc16Kermit.h"
#include "port/KLAVPcscPort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

const auto *const g_environment = ::testing::AddGlobalTestEnvironment(new PrivatePcscdEnvironment);

const uint32_t kCode3500 = SCARD_CTL_CODE(3500);
const uint32_t kCode3600 = SCARD_CTL_CODE(3600);
const uint32_t kCode3700 = SCARD_CTL_CODE(3700);
const uint32_t kWindowsForm3400 = 0x00313520;

std::string hexCode(uint32_t code)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02X %02X %02X %02X", code >> 24, (code >> 16) & 0xFF,
                  (code >> 8) & 0xFF, code & 0xFF);
    return text;
}

// The readers of this test program, one slot each, listed in this order.
enum Reader {
    kLearned3600,   // lists its escape code 3600
    kSecondTag,     // another tag first, then the escape entry
    kZeroCodeFirst, // an escape entry with code 0, then the real one
    kWindowsForm,   // escape code in the Windows form of SCARD_CTL_CODE(3400)
    kOtherTagsOnly, // no escape entry: the fallback, which it serves
    kEmptyList,     // an empty list: the fallback
    kRefusesFeatures,
    kFallbackRefused, // no escape entry and escape code 3600: the fallback fails
    kOneByteAnswers,
    kDeniesConnection,
    kWholeLoad, // used by one test only, so its first load is load 1
    kReaderCount
};

std::vector<TestReaderSetup> readerSetups()
{
    std::vector<TestReaderSetup> readers(kReaderCount);
    readers[kLearned3600] = {"Velantra Learned", "escape-code = 3600\n"};
    readers[kSecondTag] = {"Velantra Second Tag", "escape-code = 3600\nfeatures = 12 04 " +
                                                      hexCode(kCode3700) + " 13 04 " +
                                                      hexCode(kCode3600) + "\n"};
    readers[kZeroCodeFirst] = {"Velantra Zero First",
                               "escape-code = 3600\nfeatures = 13 04 00 00 00 00 13 04 " +
                                   hexCode(kCode3600) + "\n"};
    readers[kWindowsForm] = {"Velantra Windows Form", "escape-code = 0x00313520\n"};
    readers[kOtherTagsOnly] = {"Velantra Other Tags",
                               "features = 12 04 " + hexCode(kCode3600) + "\n"};
    readers[kEmptyList] = {"Velantra Empty List", "features = none\n"};
    readers[kRefusesFeatures] = {"Velantra No Features", "features = refuse\n"};
    readers[kFallbackRefused] = {"Velantra Fallback Refused",
                                 "escape-code = 3600\nfeatures = none\n"};
    readers[kOneByteAnswers] = {"Velantra One Byte", "escape-answer-max = 1\n"};
    readers[kDeniesConnection] = {"Velantra Denies", "deny = connect\n"};
    readers[kWholeLoad] = {"Velantra Whole Load", ""};
    return readers;
}

// pcscd lists reader n of the configuration as "<name> NN 00".
std::string listedName(Reader reader)
{
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, " %02X 00", unsigned(reader));
    return readerSetups()[reader].name + suffix;
}

Bytes withCrc(Bytes frame)
{
    appendCrc16Kermit(frame);
    return frame;
}

const Bytes kInitFrame = withCrc({0x1F, 0xC0, 0x04, 0x00, 0x78, 0x01, 0x2C});
const Bytes kInitReply = withCrc({0xF1, 0xE0, 0x04, 0x00, 0x78, 0x01, 0x2C});

// A request frame announcing size bytes, without entries.
Bytes requestFrame(uint32_t size)
{
    Bytes sizeBytes;
    for (uint32_t v = size; v != 0; v >>= 8)
        sizeBytes.insert(sizeBytes.begin(), uint8_t(v));
    Bytes frame{0x1F, 0x40, 0, 0x05, 0x01, 0x01, 0x60, 0x00, 0x80, uint8_t(sizeBytes.size())};
    frame.insert(frame.end(), sizeBytes.begin(), sizeBytes.end());
    frame[2] = uint8_t(frame.size() - 3);
    return withCrc(frame);
}

Bytes dataFrame(const Bytes &payload)
{
    Bytes frame(3 + payload.size());
    frame[0] = 0x01;
    frame[1] = uint8_t(payload.size() >> 8);
    frame[2] = uint8_t(payload.size());
    std::copy(payload.begin(), payload.end(), frame.begin() + 3);
    return frame;
}

struct Answer {
    bool ok = false;
    int32_t length = -1;
    Bytes bytes;
};

Answer exchange(KLAVPcscPort &port, const Bytes &command, int32_t capacity = 255)
{
    Bytes buffer(size_t(capacity > 0 ? capacity : 1), 0xEE);
    Answer answer;
    answer.length = capacity;
    answer.ok =
        port.ExecuteCommand(command.data(), int32_t(command.size()), buffer.data(), &answer.length,
                            port.getReadIntervalTimeout(), port.getReadTotalTimeout());
    if (answer.length >= 0 && size_t(answer.length) <= buffer.size())
        answer.bytes.assign(buffer.begin(), buffer.begin() + answer.length);
    return answer;
}

int countOf(const std::string &text, const std::string &part)
{
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

class KLAVPcscPortTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::string error;
        started_ = PrivatePcscd::shared().start(readerSetups(), error);
        if (!started_)
            startError_ = error;
    }
    static void TearDownTestSuite() { EXPECT_TRUE(PrivatePcscd::shared().stop()); }

    void SetUp() override { ASSERT_TRUE(started_) << startError_; }

    static std::string terminalLog(Reader reader)
    {
        return PrivatePcscd::shared().readerLogText(size_t(reader));
    }

    static bool started_;
    static std::string startError_;
};

bool KLAVPcscPortTest::started_ = false;
std::string KLAVPcscPortTest::startError_;

} // namespace

TEST(KLAVPcscPortCodeTest, EscapeCodeIsTheFirstNonZeroEntryWithTheEscapeTag)
{
    const uint8_t list[] = {0x12, 0x04, 0x42, 0x00, 0x0D, 0x48, // another feature
                            0x13, 0x04, 0x00, 0x00, 0x00, 0x00, // escape tag, code 0
                            0x13, 0x00, 0x00, 0x31, 0x35, 0x20, // length byte not examined
                            0x13, 0x04, 0x42, 0x00, 0x0D, 0xAC};
    EXPECT_EQ(KLAVPcscPort::escapeCodeFromFeatures(list, sizeof list), 0x00313520u);
    // A trailing partial entry is not read.
    EXPECT_EQ(KLAVPcscPort::escapeCodeFromFeatures(list + 12, 5), 0u);
    EXPECT_EQ(KLAVPcscPort::escapeCodeFromFeatures(list, 12), 0u);
    EXPECT_EQ(KLAVPcscPort::escapeCodeFromFeatures(list, 0), 0u);
    EXPECT_EQ(KLAVPcscPort::escapeCodeFromFeatures(nullptr, 24), 0u);
}

TEST(KLAVPcscPortCodeTest, FunctionNumberOfPlatformAndWindowsFormCodes)
{
    EXPECT_EQ(KLAVPcscPort::controlFunctionNumber(SCARD_CTL_CODE(3400)), 3400u);
    EXPECT_EQ(KLAVPcscPort::controlFunctionNumber(SCARD_CTL_CODE(3500)), 3500u);
    EXPECT_EQ(KLAVPcscPort::controlFunctionNumber(0x00313520), 3400u);
    EXPECT_EQ(KLAVPcscPort::controlFunctionNumber(0x003136B0), 3500u);
}

TEST_F(KLAVPcscPortTest, LearnsTheEscapeCodeFromTheFeatureListOrFallsBack)
{
    struct Case {
        Reader reader;
        uint32_t code;
        unsigned logged;
    };
    const Case cases[] = {
        {kLearned3600, kCode3600, 3600},     {kSecondTag, kCode3600, 3600},
        {kZeroCodeFirst, kCode3600, 3600},   {kWindowsForm, kWindowsForm3400, 3400},
        {kOtherTagsOnly, kCode3500, 3500},   {kEmptyList, kCode3500, 3500},
        {kRefusesFeatures, kCode3500, 3500},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(listedName(c.reader));
        LogCapture log;
        KLAVPcscPort port(listedName(c.reader).c_str());
        EXPECT_TRUE(port.isConnected());
        EXPECT_EQ(port.escapeCode(), c.code);
        EXPECT_TRUE(log.has("KLAVPcscPort : Reader initialized !! CCID_ESCAPE = SCARD_CTL_CODE(" +
                            std::to_string(c.logged) + ")"));
        EXPECT_EQ(log.count("KLAVPcscPort::KLAVPcscPort connect to " + listedName(c.reader)), 1);
        EXPECT_EQ(log.count("KLAVPcscPort::KLAVPcscPort"), 1); // the exit line
        // The code is the one the reader serves: the terminal answers.
        Answer answer = exchange(port, kInitFrame, 9);
        EXPECT_TRUE(answer.ok);
        EXPECT_EQ(answer.bytes, kInitReply);
    }
}

TEST_F(KLAVPcscPortTest, RefusedFeatureRequestIsLoggedWithItsCode)
{
    LogCapture log;
    KLAVPcscPort port(listedName(kRefusesFeatures).c_str());
    bool found = false;
    for (const std::string &line : log.messages())
        found |= line.rfind("KLAVPcscPort CM_IOCTL_GET_FEATURE_REQUEST failed : 0x8010", 0) == 0;
    EXPECT_TRUE(found);
    EXPECT_NE(terminalLog(kRefusesFeatures).find("feature request refused"), std::string::npos);
}

TEST_F(KLAVPcscPortTest, FallbackCodeThatTheReaderDoesNotServeFailsEachExchange)
{
    LogCapture log;
    KLAVPcscPort port(listedName(kFallbackRefused).c_str());
    EXPECT_EQ(port.escapeCode(), kCode3500);
    Answer answer = exchange(port, kInitFrame, 9);
    EXPECT_FALSE(answer.ok);
    EXPECT_EQ(answer.length, 0);
    bool found = false;
    for (const std::string &line : log.messages())
        found |= line.rfind("ExecuteCommand SCardControl Escape command failed : 0x8010", 0) == 0;
    EXPECT_TRUE(found);
}

TEST_F(KLAVPcscPortTest, CommandTravelsAfter0x11AndTheAnswerLosesTwoLeadingBytes)
{
    LogCapture log;
    KLAVPcscPort port(listedName(kLearned3600).c_str());
    EXPECT_EQ(port.getReadTotalTimeout(), 3000u);
    EXPECT_EQ(port.getReadIntervalTimeout(), 500u);
    Answer answer = exchange(port, kInitFrame, 255);
    EXPECT_TRUE(answer.ok);
    EXPECT_EQ(answer.bytes, kInitReply);
    EXPECT_TRUE(log.has("KLAVPcscPort::ExecuteCommand : Writing 9 bytes"));
    EXPECT_TRUE(log.has("ExecuteCommand : got 9 bytes"));
    EXPECT_TRUE(log.has("KLAVPcscPort::ExecuteCommand"));
    std::string terminal = terminalLog(kLearned3600);
    EXPECT_NE(terminal.find("escape command 10 bytes: 11 1F C0 04 00 78 01 2C"), std::string::npos)
        << terminal;
}

TEST_F(KLAVPcscPortTest, EmptyCommandIsSentAsCarriageReturnAndTwoByteAnswerGivesNothing)
{
    KLAVPcscPort port(listedName(kLearned3600).c_str());
    const uint8_t unused = 0x55;
    for (int32_t length : {0, -5}) {
        uint8_t response[16] = {};
        int32_t responseLength = sizeof response;
        // The terminal does not answer a carriage return alone: the escape
        // answer is only its two leading bytes.
        EXPECT_TRUE(port.ExecuteCommand(&unused, length, response, &responseLength, 500, 3000));
        EXPECT_EQ(responseLength, 0);
    }
    uint8_t response[16] = {};
    int32_t responseLength = sizeof response;
    EXPECT_TRUE(port.ExecuteCommand(nullptr, 4, response, &responseLength, 500, 3000));
    EXPECT_EQ(responseLength, 0);
    EXPECT_EQ(countOf(terminalLog(kLearned3600), "escape command 2 bytes: 11 0D;"), 3);
}

TEST_F(KLAVPcscPortTest, CommandsUpTo30720BytesGoOutLongerOnesAreRefusedUnsent)
{
    LogCapture log;
    KLAVPcscPort port(listedName(kLearned3600).c_str());
    // A data block outside a load: the terminal refuses it with one byte.
    Answer answer = exchange(port, dataFrame(Bytes(30717, 0x5A)), 3);
    EXPECT_TRUE(answer.ok);
    EXPECT_EQ(answer.bytes, Bytes{0x15});
    EXPECT_NE(terminalLog(kLearned3600).find("escape command 30721 bytes: 11 01 77 FD 5A"),
              std::string::npos);

    int before = countOf(terminalLog(kLearned3600), "escape command");
    answer = exchange(port, Bytes(30721, 0x01), 3);
    EXPECT_FALSE(answer.ok);
    EXPECT_EQ(answer.length, 0);
    EXPECT_TRUE(log.has("ExecuteCommand ERR Buffer too long : 30721 / max=30720"));
    EXPECT_EQ(countOf(terminalLog(kLearned3600), "escape command"), before);
}

TEST_F(KLAVPcscPortTest, AnswerRoomIsTheCapacityPlusTheTwoLeadingBytes)
{
    LogCapture log;
    KLAVPcscPort port(listedName(kLearned3600).c_str());
    // The 9-byte reply comes with its two leading bytes: 11 bytes in all.
    Answer fits = exchange(port, kInitFrame, 9);
    EXPECT_TRUE(fits.ok);
    EXPECT_EQ(fits.bytes, kInitReply);
    Answer tooSmall = exchange(port, kInitFrame, 8);
    EXPECT_FALSE(tooSmall.ok);
    EXPECT_EQ(tooSmall.length, 0);
    EXPECT_TRUE(log.has("ExecuteCommand SCardControl Escape command failed : 0x" + [] {
        char text[16];
        std::snprintf(text, sizeof text, "%x", unsigned(SCARD_E_INSUFFICIENT_BUFFER));
        return std::string(text);
    }()));
}

TEST_F(KLAVPcscPortTest, MissingOrOversizedResponseBufferIsRefusedUnsent)
{
    LogCapture log;
    KLAVPcscPort port(listedName(kLearned3600).c_str());
    int before = countOf(terminalLog(kLearned3600), "escape command");
    Bytes buffer(40000);
    for (int32_t capacity : {0, -1, KLAVPcscPort::kMaxResponseCapacity + 1, 1 << 30}) {
        SCOPED_TRACE(capacity);
        int32_t length = capacity;
        EXPECT_FALSE(port.ExecuteCommand(kInitFrame.data(), int32_t(kInitFrame.size()),
                                         buffer.data(), &length, 500, 3000));
        EXPECT_EQ(length, 0);
    }
    int32_t length = 9;
    EXPECT_FALSE(port.ExecuteCommand(kInitFrame.data(), int32_t(kInitFrame.size()), nullptr,
                                     &length, 500, 3000));
    EXPECT_EQ(length, 0);
    EXPECT_FALSE(port.ExecuteCommand(kInitFrame.data(), int32_t(kInitFrame.size()), buffer.data(),
                                     nullptr, 500, 3000));
    EXPECT_EQ(log.count("ExecuteCommand ERR invalid output buff"), 6);
    EXPECT_EQ(countOf(terminalLog(kLearned3600), "escape command"), before);

    // The largest capacity that fits the exchange buffer is accepted.
    Answer largest = exchange(port, kInitFrame, KLAVPcscPort::kMaxResponseCapacity);
    EXPECT_TRUE(largest.ok);
    EXPECT_EQ(largest.bytes, kInitReply);
}

TEST_F(KLAVPcscPortTest, AnswerShorterThanTheLeadingBytesFails)
{
    LogCapture log;
    KLAVPcscPort port(listedName(kOneByteAnswers).c_str());
    Answer answer = exchange(port, kInitFrame, 9);
    EXPECT_FALSE(answer.ok);
    EXPECT_EQ(answer.length, 0);
    EXPECT_TRUE(log.has("ExecuteCommand response too short : 1 bytes"));
}

TEST_F(KLAVPcscPortTest, ClosingTwiceIsHarmlessAndEndsTheExchanges)
{
    LogCapture log;
    {
        KLAVPcscPort port(listedName(kLearned3600).c_str());
        EXPECT_TRUE(port.closePort());
        EXPECT_FALSE(port.isConnected());
        EXPECT_TRUE(port.closePort());
        Answer answer = exchange(port, kInitFrame, 9);
        EXPECT_FALSE(answer.ok);
        EXPECT_EQ(answer.length, 0);
    }
    EXPECT_EQ(log.count("KLAVPcscPort::closePort"), 2);
    EXPECT_EQ(log.count("KLAVPcscPort::~KLAVPcscPort"), 2); // entry and exit

    // The reader is free for the next connection.
    KLAVPcscPort again(listedName(kLearned3600).c_str());
    EXPECT_EQ(exchange(again, kInitFrame, 9).bytes, kInitReply);
}

TEST_F(KLAVPcscPortTest, ReaderThatIsMissingOrRefusesLeavesAnUnconnectedPort)
{
    struct Case {
        std::string name;
        long error;
    };
    const Case cases[] = {{"No Such Reader 00 00", SCARD_E_UNKNOWN_READER},
                          {listedName(kDeniesConnection), SCARD_E_READER_UNAVAILABLE}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture log;
        KLAVPcscPort port(c.name.c_str());
        EXPECT_FALSE(port.isConnected());
        char line[96];
        std::snprintf(line, sizeof line, "KLAVPcscPort SCardConnect failed Error : 0x%x\n",
                      unsigned(c.error));
        EXPECT_TRUE(log.has(line));
        Answer answer = exchange(port, kInitFrame, 9);
        EXPECT_FALSE(answer.ok);
        EXPECT_EQ(answer.length, 0);
        EXPECT_TRUE(port.closePort());
    }
}

TEST_F(KLAVPcscPortTest, WholeLoadReachesTheTerminalsOutputFile)
{
    Bytes database(70000);
    for (size_t i = 0; i < database.size(); ++i)
        database[i] = uint8_t(i * 7 + 3);
    KLAVPcscPort port(listedName(kWholeLoad).c_str());
    ASSERT_EQ(exchange(port, kInitFrame, 9).bytes, kInitReply);
    Answer request = exchange(port, requestFrame(uint32_t(database.size())), 7);
    ASSERT_TRUE(request.ok);
    ASSERT_EQ(request.bytes.size(), 7u);
    EXPECT_EQ(request.bytes[4], 0x00); // accepted
    for (size_t at = 0; at < database.size(); at += 30717) {
        Bytes block(database.begin() + long(at),
                    database.begin() + long(std::min(database.size(), at + 30717)));
        ASSERT_EQ(exchange(port, dataFrame(block), 3).bytes, Bytes{0x05});
    }
    EXPECT_EQ(exchange(port, {0x02, 0x00, 0x00}, 3).bytes, (Bytes{0x05, 0x00, 0x00}));

    EXPECT_EQ(rdrload::testing::readBytes(PrivatePcscd::shared().readerOutput(kWholeLoad, 1)),
              database);
}
