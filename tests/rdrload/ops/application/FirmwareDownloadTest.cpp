// FirmwareDL_'s exchange on fake ports and a virtual clock, with a fake
// PortScout helper: the header segments of both layouts, the 64 KB points
// of the body, the restart to another COM number, every failure, and the
// signature failure table.

#include "ops/FirmwareDownload.h"
#include "ProgressLog.h"
#include "ReaderOnCom3.h"
#include "api/rdrload.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

using namespace rdrload;
using namespace rdrload::testing;
using Kind = PortEvent::Kind;
using Points = std::vector<std::size_t>;

namespace {

// The fake helper: one reader at hub 2 port 4, known as "dev-A" on COM3
// before a restart and as COM<g_comAfterRestart> after it.
int g_comAfterRestart = 5;
bool g_positionEmpty = false;
std::vector<std::string> g_calls;

uint8_t driverByCom(int32_t com, wchar_t *identifier)
{
    g_calls.push_back("driverByCom " + std::to_string(com));
    if (com != 3)
        return 1;
    std::wcscpy(identifier, L"dev-A");
    return 0;
}

uint8_t positionByDriver(const wchar_t *identifier, int32_t *hub, int32_t *port)
{
    g_calls.push_back("positionByDriver");
    if (std::wcscmp(identifier, L"dev-A") != 0)
        return 1;
    *hub = 0x102; // only the low 8 bits count
    *port = 4;
    return 0;
}

uint8_t driverByPosition(int32_t hub, int32_t port, wchar_t *identifier)
{
    g_calls.push_back("driverByPosition " + std::to_string(hub) + " " + std::to_string(port));
    if (g_positionEmpty || hub != 2 || port != 4)
        return 1;
    std::wcscpy(identifier, L"dev-A");
    return 0;
}

uint8_t comByDriver(const wchar_t *identifier, wchar_t *comName)
{
    g_calls.push_back("comByDriver");
    if (std::wcscmp(identifier, L"dev-A") != 0)
        return 1;
    std::swprintf(comName, 50, L"COM%d", g_comAfterRestart);
    return 0;
}

PortScoutLookup fakeHelper()
{
    PortScoutLookup helper;
    helper.status = PortScoutLookup::Status::Loaded;
    helper.functions = {driverByCom, positionByDriver, driverByPosition, comByDriver};
    return helper;
}

// A firmware image: layout type at offset 64, the mark at 136.
Bytes firmwareImage(std::size_t length, uint16_t layout)
{
    Bytes image(length);
    for (std::size_t i = 0; i < length; ++i)
        image[i] = static_cast<uint8_t>(i * 13 + (i >> 10));
    if (length > 65) {
        image[64] = static_cast<uint8_t>(layout & 0xff);
        image[65] = static_cast<uint8_t>(layout >> 8);
    }
    if (length > 136)
        image[136] = 0x20;
    return image;
}

class FirmwareDownloadTest : public ::testing::Test, protected ReaderOnCom3<> {
protected:
    void SetUp() override
    {
        g_calls.clear();
        g_comAfterRestart = 5;
        g_positionEmpty = false;
    }

    int run(Bytes &image, int checkHeader = 0, const PortScoutLookup &helper = fakeHelper())
    {
        return FirmwareDownload(helper, ProgressLog::callback)
            .run(image.data(), image.size(), 3, checkHeader);
    }

    FakePort &com3 = port;
};

} // namespace

TEST_F(FirmwareDownloadTest, HeaderSegmentsAndBodyAreAcknowledgedAtTheirPoints)
{
    struct Case {
        std::size_t length;
        uint16_t layout;
        Points acks;                 // image bytes sent when each acknowledgement is awaited
        std::vector<uint32_t> waits; // read-timeout constants, in order of change
    };
    const Case cases[] = {
        {773, 0x0100, {256, 512, 773}, {10000, 5000, 10000, 1000, 60000, 50000}},
        {2304, 0x0200, {256, 2304}, {10000, 5000, 10000, 60000, 50000}},
        {1000, 0x0000, {256, 512, 773, 1000}, {10000, 5000, 10000, 1000, 60000, 10000, 50000}},
        {2304 + 65536,
         0x0200,
         {256, 2304, 2304 + 65536},
         {10000, 5000, 10000, 60000, 10000, 50000}},
        {773 + 200000,
         0x0300,
         {256, 512, 773, 773 + 65536, 773 + 131072, 773 + 196608, 200773},
         {10000, 5000, 10000, 1000, 60000, 10000, 50000}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.length) + " bytes, layout " + std::to_string(c.layout));
        ReaderOnCom3<> row;
        row.reader.ackPoints = c.acks;
        Bytes image = firmwareImage(c.length, c.layout);

        ASSERT_EQ(FirmwareDownload(fakeHelper(), ProgressLog::callback)
                      .run(image.data(), image.size(), 3, 1),
                  0);
        EXPECT_EQ(row.reader.image(), image);
        // Wake, request, the 'f' read, then the points and the signature.
        Points expected{0, 0, 0};
        expected.insert(expected.end(), c.acks.begin(), c.acks.end());
        expected.push_back(c.length);
        EXPECT_EQ(row.imageBytesBeforeEachRead(), expected);
        std::vector<uint32_t> constants;
        std::size_t biggestWrite = 0;
        for (const PortEvent &event : row.port.events()) {
            if (event.kind == Kind::Timeouts)
                constants.push_back(event.timeouts.readConstant);
            if (event.kind == Kind::Write)
                biggestWrite = std::max(biggestWrite, event.data.size());
        }
        EXPECT_EQ(constants, c.waits);
        EXPECT_EQ(biggestWrite, 128u);

        const auto &reports = ProgressLog::reports();
        ASSERT_GE(reports.size(), 6u);
        EXPECT_EQ(reports[0].text, "Waiting ACK\n");
        EXPECT_EQ(reports[0].done, 0u);
        EXPECT_EQ(reports[0].remaining, c.length);
        EXPECT_EQ(reports[1].text, "Sending FW download request\n");
        EXPECT_EQ(reports[2].text, "Transfer accepted\n");
        const std::size_t body = c.length - (c.layout == 0x0200 ? 2304 : 773);
        EXPECT_EQ(ProgressLog::count("Data transfer..."), static_cast<int>((body + 127) / 128));
        EXPECT_EQ(ProgressLog::count("Waiting for 64 KB ACK"), static_cast<int>(body / 65536));
        EXPECT_EQ(ProgressLog::count("Waiting last transmission ACK"), body % 65536 ? 1 : 0);
        if (body > 0) {
            EXPECT_EQ(reports[3].text, "Data transfer...");
            EXPECT_EQ(reports[3].done, c.length - body + std::min<std::size_t>(body, 128));
        }
        const std::size_t n = reports.size();
        EXPECT_EQ(reports[n - 3].text, "Waiting Signature ACK");
        EXPECT_EQ(reports[n - 3].done, body > 0 ? c.length : 0u);
        EXPECT_EQ(reports[n - 2].text, "Signature OK");
        EXPECT_EQ(reports[n - 1].text, "Firmware transfer successful");
        EXPECT_EQ(row.env.trace.count("FirmwareDL ClosePort Normal \n"), 1);
        EXPECT_EQ(row.env.trace.joined().find("FirmWareDL COM3 -> dev-A (ret=0)"
                                              "FirmWareDL dev-A -> Hub 2 Port 4 (ret=0)"),
                  0u);
        // Five seconds after the close for the reader to install.
        const auto sleeps = row.env.clock.sleeps();
        EXPECT_EQ(std::vector<uint32_t>(sleeps.end() - 6, sleeps.end()),
                  (std::vector<uint32_t>{1000, 1000, 1000, 1000, 1000, 1000}));
    }
}

TEST_F(FirmwareDownloadTest, ARestartingReaderIsFoundAgainUnderItsNewNumber)
{
    reader.afterRequest = {'f'};
    FakePort &com5 = env.serial.port(5);
    DownloadReader after;
    after.ackPoints = {256, 512, 773, 900};
    com5.setReader(&after);
    Bytes image = firmwareImage(900, 0x0100);

    ASSERT_EQ(run(image), 0);
    EXPECT_EQ(after.image(), image);
    EXPECT_TRUE(reader.image().empty());
    EXPECT_EQ(com3.openings(), 1);
    EXPECT_EQ(com5.openings(), 1);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"driverByCom 3", "positionByDriver",
                                                 "driverByPosition 2 4", "comByDriver"}));
    // One second after the close, then five seconds of waiting.
    const uint64_t closed = com3.events().back().atMs;
    EXPECT_EQ(com3.events().back().kind, Kind::Close);
    EXPECT_GE(com5.events().front().atMs, closed + 6000);
    const std::string trace = env.trace.joined();
    EXPECT_NE(trace.find("FirmwareDL ClosePort 'f' received\n"), std::string::npos);
    EXPECT_NE(trace.find("FirmWareDL Hub 2 Port 4 -> dev-A (ret=0)"), std::string::npos);
    EXPECT_NE(trace.find("FirmWareDL  dev-A -> COM5 (ret=0)"), std::string::npos);
    EXPECT_NE(trace.find("** Reader is now on COM 5 \n"), std::string::npos);
    const std::vector<std::string> texts = ProgressLog::texts();
    const std::vector<std::string> wanted{"Waiting ACK\n",
                                          "Sending FW download request\n",
                                          "Waiting reset 10\n",
                                          "Waiting reset 9\n",
                                          "Waiting reset 8\n",
                                          "Waiting reset 7\n",
                                          "Waiting reset 6\n",
                                          "Waiting reset 5\n",
                                          "Sending FW download request\n",
                                          "Transfer accepted\n"};
    EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + 10), wanted);
}

TEST_F(FirmwareDownloadTest, WhenTheHelperFindsNothingTheSamePortIsOpenedAgain)
{
    g_positionEmpty = true;
    reader.afterRequest = {'f', DownloadReader::kSilent};
    reader.ackPoints = {256, 2304};
    Bytes image = firmwareImage(2304, 0x0200);
    ASSERT_EQ(run(image), 0);
    EXPECT_EQ(com3.openings(), 2);
    EXPECT_EQ(reader.image(), image);
    EXPECT_NE(env.trace.joined().find("FirmWareDL Hub 2 Port 4 ->  (ret=1)"), std::string::npos);
    EXPECT_EQ(env.trace.count("** Reader is now on COM 3 \n"), 0);
}

TEST_F(FirmwareDownloadTest, AReaderThatKeepsRestartingIsGivenUpAfterTenRestarts)
{
    reader.afterRequest = std::vector<int>(20, 'f');
    g_comAfterRestart = 3;
    Bytes image = firmwareImage(900, 0x0100);
    EXPECT_EQ(run(image), 8);
    EXPECT_EQ(com3.openings(), 11);
    EXPECT_FALSE(com3.isOpen());
    EXPECT_EQ(env.trace.count("FirmwareDL ClosePort 'f' received\n"), 10);
    EXPECT_EQ(env.trace.texts().back(),
              "FirmwareDL ClosePort 'f' received again after 10 restarts\n");
}

TEST_F(FirmwareDownloadTest, EveryStepFailsWithItsOwnResultAndTrace)
{
    struct Case {
        const char *what;
        uint16_t layout;
        std::map<int, int> answers;
        int afterRequest;
        long failWriteAt;
        long shortWriteAt;
        int expected;
        const char *trace; // the last trace texts, joined
    };
    const int kSilent = DownloadReader::kSilent;
    const Case cases[] = {
        {"wake NAK",
         0x0100,
         {{0, 0x15}},
         kSilent,
         -1,
         -1,
         8,
         "CheckACK NACK received\nFirmwareDL CheckAck Error 1\n"},
        {"request silent",
         0x0100,
         {{1, kSilent}},
         kSilent,
         -1,
         -1,
         6,
         "CheckACK ClosePort 4\nFirmwareDL CheckAck Error 2\n"},
        {"'x' after the request",
         0x0100,
         {},
         'x',
         -1,
         -1,
         8,
         "FirmwareDL ClosePort 'f' not received\n"},
        {"segment 1 write fails",
         0x0100,
         {},
         kSilent,
         0,
         -1,
         8,
         "FirmwareDL ClosePort Error Writing 1\n"},
        {"segment 1 NAK",
         0x0100,
         {{2, 0x15}},
         kSilent,
         -1,
         -1,
         8,
         "CheckACK NACK received\nFirmwareDL CheckAck Error 3\n"},
        {"long segment 2 short write",
         0x0200,
         {},
         kSilent,
         -1,
         256 + 1024,
         8,
         "FirmwareDL ClosePort Error Writing 4\n"},
        {"short segment 2 write fails",
         0x0100,
         {},
         kSilent,
         256,
         -1,
         8,
         "FirmwareDL ClosePort Error Writing 2\n"},
        {"segment 2 silent",
         0x0100,
         {{3, kSilent}},
         kSilent,
         -1,
         -1,
         6,
         "CheckACK ClosePort 4\nFirmwareDL CheckAck Error 4\n"},
        {"segment 3 write fails",
         0x0100,
         {},
         kSilent,
         640,
         -1,
         8,
         "FirmwareDL ClosePort Error Writing 3\n"},
        {"header ACK another byte",
         0x0100,
         {{4, 'A'}},
         kSilent,
         -1,
         -1,
         18,
         "CheckACK Unknown received\nFirmwareDL CheckAck Error 5\n"},
        {"body write fails",
         0x0100,
         {},
         kSilent,
         773 + 128,
         -1,
         8,
         "FirmwareDL ClosePort Error Writing 5\n"},
        {"64 KB ACK NAK",
         0x0100,
         {{5, 0x15}},
         kSilent,
         -1,
         -1,
         8,
         "CheckACK NACK received\n -- 64 KB ACK NOT received!\n"},
        {"last ACK silent",
         0x0100,
         {{6, kSilent}, {7, kSilent}},
         kSilent,
         -1,
         -1,
         6,
         "CheckACK ClosePort 4\n -- FirmwareDL CheckAck Error 6\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ReaderOnCom3<> row;
        const std::size_t header = c.layout == 0x0200 ? 2304 : 773;
        const std::size_t length = header + 65536 + 300;
        row.reader.ackPoints = c.layout == 0x0200 ? Points{256, 2304, 2304 + 65536, length}
                                                  : Points{256, 512, 773, 773 + 65536, length};
        row.reader.answers = c.answers;
        row.reader.afterRequest = {c.afterRequest};
        row.reader.failWriteAt = c.failWriteAt;
        row.reader.shortWriteAt = c.shortWriteAt;
        Bytes image = firmwareImage(length, c.layout);
        EXPECT_EQ(FirmwareDownload(fakeHelper(), ProgressLog::callback)
                      .run(image.data(), image.size(), 3, 0),
                  c.expected);
        EXPECT_FALSE(row.port.isOpen());
        const std::string joined = row.env.trace.joined();
        const std::string wanted = c.trace;
        ASSERT_GE(joined.size(), wanted.size());
        EXPECT_EQ(joined.substr(joined.size() - wanted.size()), wanted);
        EXPECT_EQ(ProgressLog::count("Firmware transfer successful"), 0);
    }
}

// Makes the setting of the signature's 50 s wait fail once the whole image
// is in and the last block's 10 s wait has been set.
struct FailingSignatureWait : DownloadReader {
    std::size_t imageLength = 0;
    void onTimeouts(FakePort &port, const PortTimeouts &timeouts) override
    {
        if (image().size() == imageLength && timeouts.readConstant == 10000)
            port.failCall(PortCall::SetTimeouts);
    }
};

TEST_F(FirmwareDownloadTest, SignatureFailuresAreReportedByTheirResult)
{
    struct Case {
        int answer;        // the reader's answer after the image
        bool failTimeouts; // the signature's wait cannot be set
        int expected;
        const char *report;
        const char *trace;
    };
    const Case cases[] = {
        {0x15, false, 8, "Signature NAK Error", "NACK RECEIVED\n"},
        {DownloadReader::kSilent, false, 6, "Signature Timeout Error", "TIMEOUT ERROR\n"},
        {'A', false, 18, "Signature Other Error", "OTHER ERROR\n"},
        {0x06, true, 2, "Signature Com Error", "COM ERROR\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.report);
        ReaderOnCom3<FailingSignatureWait> row;
        row.reader.imageLength = c.failTimeouts ? 800 : SIZE_MAX;
        row.reader.ackPoints = {256, 512, 773, 800};
        row.reader.answers = {{6, c.answer}};
        Bytes image = firmwareImage(800, 0x0100);
        EXPECT_EQ(FirmwareDownload(fakeHelper(), ProgressLog::callback)
                      .run(image.data(), image.size(), 3, 0),
                  c.expected);
        EXPECT_FALSE(row.port.isOpen());
        EXPECT_EQ(ProgressLog::texts().back(), c.report);
        const std::string joined = row.env.trace.joined();
        const std::string wanted = std::string(" -- SIGNATURE NACK :") + c.trace;
        ASSERT_GE(joined.size(), wanted.size());
        EXPECT_EQ(joined.substr(joined.size() - wanted.size()), wanted);
    }
}

TEST_F(FirmwareDownloadTest, MissingHelpersAndBadImagesAreRefusedBeforeThePortIsOpened)
{
    PortScoutLookup missing;
    PortScoutLookup incomplete = fakeHelper();
    incomplete.status = PortScoutLookup::Status::MissingFunction;
    incomplete.missing = "searchComByDriverPemtal";
    struct Case {
        const char *what;
        const PortScoutLookup &helper;
        bool null;
        std::size_t length;
        uint16_t layout;
        int checkHeader;
        int mark;
        const char *trace; // last trace text, or "" for the helper's lookups
    };
    const Case cases[] = {
        {"no helper", missing, false, 4000, 0x0100, 0, 0x20, "Can't load PortScout.dll\n"},
        {"helper without a function", incomplete, false, 4000, 0x0100, 0, 0x20,
         "Can't find searchComByDriverPemtal in PortScout.dll\n"},
        {"null image", fakeHelper(), true, 4000, 0x0100, 0, 0x20, ""},
        {"too short for the layout type", fakeHelper(), false, 65, 0x0100, 0, 0x20, ""},
        {"shorter than the short header", fakeHelper(), false, 772, 0x0100, 0, 0x20, ""},
        {"shorter than the long header", fakeHelper(), false, 2303, 0x0200, 0, 0x20, ""},
        {"header test, wrong mark", fakeHelper(), false, 4000, 0x0100, 1, 0x21, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        FakeLinkEnvironment local;
        ProgressLog::start();
        Bytes image = firmwareImage(c.length, c.layout);
        if (image.size() > 136)
            image[136] = static_cast<uint8_t>(c.mark);
        EXPECT_EQ(FirmwareDownload(c.helper, ProgressLog::callback)
                      .run(c.null ? nullptr : image.data(), c.length, 3, c.checkHeader),
                  10);
        EXPECT_EQ(local.serial.port(3).openAttempts(), 0);
        EXPECT_TRUE(ProgressLog::reports().empty());
        const std::string wanted = *c.trace ? c.trace : "FirmWareDL dev-A -> Hub 2 Port 4 (ret=0)";
        ASSERT_FALSE(local.trace.texts().empty());
        EXPECT_EQ(local.trace.texts().back(), wanted);
    }
}

TEST_F(FirmwareDownloadTest, OnlyHeaderTestFlagOneTestsTheMark)
{
    reader.ackPoints = {256, 512, 773};
    Bytes image = firmwareImage(773, 0x0100);
    image[136] = 0x21;
    EXPECT_EQ(run(image, 2), 0);
    EXPECT_EQ(reader.image(), image);
}

TEST_F(FirmwareDownloadTest, APortThatWillNotOpenOrTakeTheRequestEndsTheDownload)
{
    Bytes image = firmwareImage(900, 0x0100);
    com3.refuseOpens(-1);
    EXPECT_EQ(run(image), 1);
    EXPECT_EQ(env.trace.texts().back(), "FirmwareDL OpenPort Error\n");
    EXPECT_EQ(env.clock.nowMs(), 10000u);

    com3.refuseOpens(0);
    com3.failCall(PortCall::Write);
    EXPECT_EQ(run(image), 1);
    EXPECT_EQ(env.trace.texts().back(), "FirmwareDL ClosePort Error OPEN_COM_PORT\n");
    EXPECT_FALSE(com3.isOpen());
}

TEST(FirmwareDownloadExport, WithoutItsHelperTheDownloadIsRefusedBeforeThePortIsOpened)
{
    // No libPortScout.so beside this program nor on the search path.
    FakeLinkEnvironment env;
    Bytes image = firmwareImage(4000, 0x0100);
    EXPECT_EQ(FirmwareDL_(image.data(), image.size(), 3, 0, nullptr), 10);
    EXPECT_EQ(env.trace.texts(), (std::vector<std::string>{"Can't load PortScout.dll\n"}));
    EXPECT_EQ(env.serial.port(3).openAttempts(), 0);
}
