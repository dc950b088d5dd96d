// FirmLoaderDL_ on a fake port and a virtual clock, against reader-sim's boot
// loader engine: line states and their timing, the records byte for byte,
// the failures that end the run and those that do not.

#include "ops/FirmLoader.h"
#include "BootLoaderPeer.h"
#include "FakeLinkEnvironment.h"
#include "ProgressLog.h"
#include "api/rdrload.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using namespace rdrload;
using namespace rdrload::testing;
using Texts = std::vector<std::string>;
using Kind = PortEvent::Kind;

namespace {

constexpr int kLoadAddress = 0x00200000;
constexpr int kImageAddress = 0x00400000; // reader-sim's default image area
constexpr uint32_t kIdentifierOffset = 0x7FE0;

void recordReport(void *argument)
{
    EXPECT_NE(static_cast<const ProgressInfo *>(argument)->nextReport, nullptr);
    ProgressLog::callback(argument);
}

Bytes counting(std::size_t count, uint8_t first)
{
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(first + i);
    return bytes;
}

struct Files {
    Bytes config;
    Bytes boot;
    Bytes image;
    Bytes productId = counting(32, 0xA0);
};

std::string hex(const Bytes &bytes, std::size_t from = 0, std::size_t count = std::string::npos)
{
    std::string text;
    char digits[3];
    for (std::size_t i = from; i < bytes.size() && i - from < count; ++i) {
        std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
        text += digits;
    }
    return text;
}

// A line written character by character, as echo mode sends it.
Texts oneByOne(const std::string &line)
{
    Texts characters;
    for (char c : line)
        characters.push_back(std::string(1, c));
    return characters;
}

const Texts kRegisterRecords = {"00220008C400000C00", "0022000CC402020501", "00221004C491110300",
                                "0C100000C40C100000", "00221004C4A1110300", "0C000000C40C000000",
                                "0C000004C40C000000", "00221004C4B1110300", "0C088C00C40C088C00",
                                "00221004C481119267"};

const Texts kSuccessTrace = {"FirmLoaderDL OpenPort",
                             " - OpenPort 3 Start",
                             " - R",
                             " - OK\n",
                             "FirmLoaderDL SetReadTimeout",
                             " - OK\n",
                             "FirmLoaderDL set Reset\n",
                             "FirmLoaderDL set Boot\n",
                             "FirmLoaderDL end Reset\n",
                             "FirmLoaderDL Start BRecord Sending \n",
                             "FirmLoaderDL Initalize SDRAM\n",
                             "FirmLoaderDL Send configuration file\n",
                             "FirmLoaderDL Launch execution\n",
                             "FirmLoaderDL Send boot\n",
                             "FirmLoaderDL Send image file\n",
                             "FirmLoaderDL Write PID\n",
                             "FirmLoaderDL Execute flashing\n",
                             "CheckACK Start\n",
                             "FirmLoaderDL unset Boot\n",
                             "FirmLoaderDL Reset\n",
                             "FirmLoaderDL End\n"};

class FirmLoaderTest : public ::testing::Test {
protected:
    void SetUp() override { ProgressLog::start(); }

    void usePeer(readersim::BootLoaderOptions options = {})
    {
        peer = std::make_unique<BootLoaderPeer>(options);
        port.setReader(peer.get());
    }

    int load(Files &files, ProgressCallback callback = recordReport, unsigned char number = 3)
    {
        return FirmLoaderDL_(files.config.data(), static_cast<int>(files.config.size()),
                             files.boot.data(), static_cast<int>(files.boot.size()),
                             files.image.data(), static_cast<int>(files.image.size()), number,
                             files.productId.data(), callback, kImageAddress, kLoadAddress);
    }

    // Every write the host made, in order.
    Texts writes() const
    {
        Texts all;
        for (const PortEvent &event : port.events()) {
            if (event.kind == Kind::Write)
                all.emplace_back(event.data.begin(), event.data.end());
        }
        return all;
    }

    // The virtual time of the first write of `line` (or max when none).
    uint64_t writtenAt(const std::string &line) const
    {
        for (const PortEvent &event : port.events()) {
            if (event.kind == Kind::Write &&
                std::string(event.data.begin(), event.data.end()) == line)
                return event.atMs;
        }
        return UINT64_MAX;
    }

    int countReports(const std::string &text) const
    {
        int count = 0;
        for (const Report &report : ProgressLog::reports())
            count += report.text == text ? 1 : 0;
        return count;
    }

    FakeLinkEnvironment env;
    FakePort &port = env.serial.port(3);
    std::unique_ptr<BootLoaderPeer> peer;
};

} // namespace

TEST_F(FirmLoaderTest, DrivesResetAndBootModeWithTheirPausesAndChangesTheBaudRate)
{
    usePeer();
    Files files;
    ASSERT_EQ(load(files), 0);

    struct LineState {
        int dtr;
        int rts;
        uint32_t baud;
        uint64_t atMs;
        bool operator==(const LineState &o) const
        {
            return dtr == o.dtr && rts == o.rts && baud == o.baud && atMs == o.atMs;
        }
    };
    std::vector<LineState> states;
    std::vector<uint64_t> purges;
    std::vector<std::pair<uint32_t, uint64_t>> timeouts;
    for (const PortEvent &event : port.events()) {
        if (event.kind == Kind::Control)
            states.push_back({event.control.dtrControl, event.control.rtsControl,
                              event.control.baudRate, event.atMs});
        if (event.kind == Kind::Purge) {
            EXPECT_EQ(event.actions, 0x0Fu);
            purges.push_back(event.atMs);
        }
        if (event.kind == Kind::Timeouts)
            timeouts.emplace_back(event.timeouts.readConstant, event.atMs);
    }
    const std::vector<LineState> expected = {
        {1, 1, 9600, 0},      // opened: both lines enabled
        {1, 0, 9600, 0},      // reset held
        {0, 0, 9600, 0},      // boot mode selected
        {0, 1, 9600, 200},    // reset released in boot mode
        {0, 1, 115200, 1300}, // 100 ms after the launch
        {1, 1, 115200, 1300}, // boot mode released after the flash ACK
        {1, 0, 115200, 1500}, // reset
    };
    ASSERT_EQ(states.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_TRUE(states[i] == expected[i]) << "line state " << i;
    EXPECT_EQ(writtenAt("A"), 1200u); // one second for the boot loader to start
    EXPECT_EQ(purges, (std::vector<uint64_t>{0, 1200, 1500}));
    EXPECT_EQ(timeouts, (std::vector<std::pair<uint32_t, uint64_t>>{{1000, 0}, {30000, 1300}}));
    EXPECT_EQ(env.clock.sleeps(), (std::vector<uint32_t>{200, 1000, 100, 200, 1000}));
    EXPECT_EQ(env.clock.nowMs(), 2500u);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(env.trace.texts(), kSuccessTrace);
}

TEST_F(FirmLoaderTest, SendsEveryRecordOfASmallLoadAndReportsItsProgress)
{
    usePeer();
    Files files;
    files.config = {0x01, 0x02, 0x03};
    files.boot = {0xAB, 0xCD};
    files.image = counting(16, 0x10);
    ASSERT_EQ(load(files), 0);

    Texts expected{"A"};
    expected.insert(expected.end(), kRegisterRecords.begin(), kRegisterRecords.end());
    expected.push_back("0020000003010203");
    for (const std::string &c : oneByOne("0020000000"))
        expected.push_back(c);
    expected.push_back("0020000002ABCD");
    expected.push_back("0040000010" + hex(files.image));
    const std::size_t fills = kIdentifierOffset - 16;
    const Texts all = writes();
    ASSERT_EQ(all.size(), expected.size() + fills + 3);
    EXPECT_EQ(Texts(all.begin(), all.begin() + static_cast<long>(expected.size())), expected);
    EXPECT_EQ(all[expected.size()], "0040001001FF");
    EXPECT_EQ(all[expected.size() + fills - 1], "00407FDF01FF");
    EXPECT_EQ(Texts(all.end() - 3, all.end()),
              (Texts{"00407FE010" + hex(files.productId, 0, 16),
                     "00407FF010" + hex(files.productId, 16, 16), "0020000000"}));

    EXPECT_EQ(ProgressLog::reports(), (std::vector<Report>{{"Connecting...", 0, 29},
                                                           {"Connecting...", 8, 21},
                                                           {"Transfering config file...", 11, 18},
                                                           {"Transfering boot file...", 13, 16},
                                                           {"Transfering image file...", 29, 0},
                                                           {"Waiting...", 29, 0},
                                                           {"Success", 29, 0}}));

    // What the boot loader ended up with.
    Bytes area = files.image;
    area.resize(kIdentifierOffset, 0xFF);
    area.insert(area.end(), files.productId.begin(), files.productId.end());
    EXPECT_EQ(peer->sim().memory().imageArea(), area);
    EXPECT_EQ(peer->sim().memory().configRegion(), files.config);
    EXPECT_EQ(peer->sim().memory().bootRegion(), files.boot);
    EXPECT_EQ(peer->sim().memory().registerWrites().size(), 10u);
}

TEST_F(FirmLoaderTest, RecordSevenGoesWhereRecordSixLeftTheAddress)
{
    struct Case {
        const char *name;
        unsigned long loseEchoAt;
        unsigned long loseAckAt;
        const char *record7;
        uint64_t record6Takes; // from its write to the next write, failure pauses included
    };
    const Case cases[] = {
        {"record 6 succeeds", 0, 0, "0C000004C40C000000", 0},
        // 21 reads of the 18-character echo, 1018 ms each, then 20 ms.
        {"echo of record 6 lost", 6, 0, "0C000000C40C000000", 21 * 1018 + 20},
        // 20 one-byte reads of 1001 ms for the acknowledgement, then 10 + 20 ms.
        {"acknowledgement of record 6 lost", 0, 6, "0C000000C40C000000", 20 * 1001 + 30},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FakeLinkEnvironment fresh;
        FakePort &freshPort = fresh.serial.port(3);
        readersim::BootLoaderOptions options;
        options.loseEchoAt = c.loseEchoAt;
        options.loseAckAt = c.loseAckAt;
        BootLoaderPeer bootLoader(options);
        freshPort.setReader(&bootLoader);
        Files files;
        files.image = Bytes(kIdentifierOffset, 0x5A); // no fill: a short run
        ASSERT_EQ(load(files, nullptr), 0);

        std::vector<const PortEvent *> recordWrites;
        for (const PortEvent &event : freshPort.events()) {
            if (event.kind == Kind::Write)
                recordWrites.push_back(&event);
        }
        ASSERT_GT(recordWrites.size(), 8u);
        // recordWrites[0] is the 'A'.
        EXPECT_EQ(std::string(recordWrites[6]->data.begin(), recordWrites[6]->data.end()),
                  "0C000000C40C000000");
        EXPECT_EQ(std::string(recordWrites[7]->data.begin(), recordWrites[7]->data.end()),
                  c.record7);
        EXPECT_EQ(recordWrites[7]->atMs - recordWrites[6]->atMs, c.record6Takes);
        // The failure ends nothing: all ten register records went out.
        EXPECT_EQ(std::string(recordWrites[10]->data.begin(), recordWrites[10]->data.end()),
                  kRegisterRecords[9]);
    }
}

TEST_F(FirmLoaderTest, AFailedConfigurationRecordEndsOnlyThatFile)
{
    readersim::BootLoaderOptions options;
    options.loseAckAt = 11; // records 1 to 10 are the register writes
    usePeer(options);
    Files files;
    files.config = counting(45, 0x00);
    files.boot = counting(31, 0x80);
    // The reader flashes (its image area is complete), but the configuration
    // it ran was cut short: the run says so.
    ASSERT_EQ(load(files), OTHER_ERROR);

    EXPECT_EQ(ProgressLog::reports(), (std::vector<Report>{{"Connecting...", 0, 84},
                                                           {"Connecting...", 8, 76},
                                                           {"Send b-record failure...", 8, 76},
                                                           {"Transfering boot file...", 38, 46},
                                                           {"Transfering boot file...", 39, 45},
                                                           {"Waiting...", 39, 45},
                                                           {"Send b-record failure...", 39, 45}}));
    const Texts all = writes();
    // The second configuration record is never sent; the launch follows.
    const auto first = std::find(all.begin(), all.end(), "002000001E" + hex(files.config, 0, 30));
    ASSERT_NE(first, all.end());
    EXPECT_EQ(*(first + 1), "0");
    EXPECT_EQ(peer->sim().memory().configRegion().size(), 30u); // kept, unacknowledged
    EXPECT_EQ(peer->sim().memory().bootRegion(), files.boot);
}

TEST_F(FirmLoaderTest, AFailedFileFillOrIdentifierRecordMakesAFlashedRunReturn18)
{
    // Records, counted from the opening: 1-10 registers, 11 the configuration
    // file (3 bytes), 12 the launch, 13 the boot file (2 bytes), 14-16 the
    // image (40 bytes), then the fill from 17 on, the identifier after it.
    const unsigned long fillRecords = kIdentifierOffset - 40;
    const unsigned long firstIdentifier = 17 + fillRecords;
    using Answer = readersim::BootLoaderOptions::FlashAnswer;
    struct Case {
        const char *name;
        unsigned long loseAckAt;
        unsigned long loseEchoAt;
        bool failFill;
        int result;
        const char *failedTrace; // null: none
    };
    const Case cases[] = {
        {"nothing fails", 0, 0, false, 0, nullptr},
        {"a register record fails", 3, 0, false, 0, nullptr},
        {"the configuration record", 11, 0, false, OTHER_ERROR,
         "FirmLoaderDL Failed records: configuration file\n"},
        {"the boot record", 13, 0, false, OTHER_ERROR, "FirmLoaderDL Failed records: boot file\n"},
        // The fill then starts at the failed record's address, over the image.
        {"the second image record", 15, 0, false, OTHER_ERROR,
         "FirmLoaderDL Failed records: image file\n"},
        // Sent again at the same address, the fill completes the area.
        {"one fill record, sent again", 17, 0, false, 0, nullptr},
        {"the fill giving up", 0, 0, true, OTHER_ERROR, "FirmLoaderDL Failed records: fill\n"},
        // Its second half then lands where the first should have been.
        {"the first identifier record", 0, firstIdentifier, false, OTHER_ERROR,
         "FirmLoaderDL Failed records: identifier\n"},
        {"boot and image records", 13, 15, false, OTHER_ERROR,
         "FirmLoaderDL Failed records: boot file, image file\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ProgressLog::start();
        FakeLinkEnvironment fresh;
        FakePort &freshPort = fresh.serial.port(3);
        readersim::BootLoaderOptions options;
        options.loseAckAt = c.loseAckAt;
        options.loseEchoAt = c.loseEchoAt;
        options.failFill = c.failFill;
        options.flashAnswer = Answer::Ack; // a reader that flashes whatever it holds
        BootLoaderPeer bootLoader(options);
        freshPort.setReader(&bootLoader);
        Files files;
        files.config = counting(3, 0x01);
        files.boot = counting(2, 0x02);
        files.image = counting(40, 0x10);
        EXPECT_EQ(load(files), c.result);

        // The wire is the same either way: the flash command is the last
        // record, and the reset sequence and the close follow its ACK.
        const Texts all = [&freshPort] {
            Texts lines;
            for (const PortEvent &event : freshPort.events()) {
                if (event.kind == Kind::Write)
                    lines.emplace_back(event.data.begin(), event.data.end());
            }
            return lines;
        }();
        EXPECT_EQ(all.back(), "0020000000");
        EXPECT_FALSE(freshPort.isOpen());
        Texts ending(kSuccessTrace.end() - 3, kSuccessTrace.end());
        if (c.failedTrace != nullptr)
            ending.push_back(c.failedTrace);
        const Texts trace = fresh.trace.texts();
        ASSERT_GE(trace.size(), ending.size());
        EXPECT_EQ(Texts(trace.end() - static_cast<long>(ending.size()), trace.end()), ending);
        EXPECT_EQ(ProgressLog::reports().back().text,
                  c.result == 0 ? "Success" : "Send b-record failure...");
        if (std::string(c.name) == "the second image record") {
            // What the reader flashed: the rest of the image lost under the fill.
            const Bytes area = bootLoader.sim().memory().imageArea();
            ASSERT_GE(area.size(), 40u);
            EXPECT_EQ(Bytes(area.begin() + 16, area.begin() + 40), Bytes(24, 0xFF));
        }
    }
}

TEST_F(FirmLoaderTest, TheFillGivesUpAfter32FailuresInARowAndTheIdentifierStillFollows)
{
    readersim::BootLoaderOptions options;
    options.failFill = true;
    usePeer(options);
    Files files;
    files.image = counting(40, 0x00);
    // The boot loader finds holes in the image area and refuses to flash.
    EXPECT_EQ(load(files), NACK_ERROR);

    const Texts all = writes();
    int fills = 0;
    for (const std::string &line : all)
        fills += line == "0040002801FF" ? 1 : 0; // every attempt at the same address
    EXPECT_EQ(fills, FirmLoader::kFillFailureLimit);
    ASSERT_GE(all.size(), 3u);
    EXPECT_EQ(all[all.size() - 3], "00407FE010" + hex(files.productId, 0, 16));
    EXPECT_EQ(all.back(), "0020000000");
    EXPECT_EQ(countReports("Send b-record failure..."), 1);
    EXPECT_EQ(ProgressLog::reports().back().text, "Waiting...");
    EXPECT_FALSE(port.isOpen());
}

TEST_F(FirmLoaderTest, FailingOrRefusedSynchronisationEndsWithTimeoutAndThePortClosed)
{
    struct Case {
        const char *name;
        int syncAnswer;
        uint64_t endsAt; // 1200 ms of reset, the reads, the pause after the close
    };
    const Case cases[] = {
        {"silent boot loader", -1, 1200 + 20 * 1001 + 1000},
        {"another byte", 'B', 1200 + 1000},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ProgressLog::start();
        FakeLinkEnvironment fresh;
        FakePort &freshPort = fresh.serial.port(3);
        readersim::BootLoaderOptions options;
        options.syncAnswer = c.syncAnswer;
        BootLoaderPeer bootLoader(options);
        freshPort.setReader(&bootLoader);
        Files files;
        EXPECT_EQ(load(files), TIMEOUT_ERROR);
        EXPECT_FALSE(freshPort.isOpen());
        EXPECT_EQ(fresh.clock.nowMs(), c.endsAt);
        EXPECT_EQ(freshPort.written(), (Bytes{'A'}));
        Texts trace(kSuccessTrace.begin(), kSuccessTrace.begin() + 9);
        trace.push_back("FirmLoaderDL ClosePort \n");
        EXPECT_EQ(fresh.trace.texts(), trace);
        EXPECT_EQ(ProgressLog::reports(), (std::vector<Report>{{"Connecting...", 0, 8}}));
    }
}

TEST_F(FirmLoaderTest, EarlyEndingsReturnTheirResult)
{
    static Bytes longImage(kIdentifierOffset + 1, 0x33);
    static Bytes identifier = counting(32, 0xA0);
    // The arguments of one call; by default empty files.
    struct Call {
        unsigned char *config = nullptr;
        int configLength = 0;
        unsigned char *boot = nullptr;
        int bootLength = 0;
        unsigned char *image = longImage.data();
        int imageLength = 0;
        unsigned char number = 3;
        unsigned char *productId = identifier.data();
        int imageAddress = kImageAddress;
        int loadAddress = kLoadAddress;
    };
    using Options = readersim::BootLoaderOptions;
    struct Case {
        const char *name;
        void (*arrange)(Call &, Options &, FakePort &);
        int result;
        bool opened;
        Texts traceEnd;
        std::vector<std::string> reports;
    };
    const Texts none;
    const std::vector<std::string> beforeFlashing{"Connecting...", "Connecting...", "Waiting..."};
    const Case cases[] = {
        {"image reaching into the identifier block",
         [](Call &c, Options &, FakePort &) { c.imageLength = kIdentifierOffset + 1; },
         PARAMETER_ERROR,
         false,
         none,
         {}},
        {"negative configuration length",
         [](Call &c, Options &, FakePort &) {
             c.config = longImage.data();
             c.configLength = -1;
         },
         PARAMETER_ERROR,
         false,
         none,
         {}},
        {"null boot file with a length",
         [](Call &c, Options &, FakePort &) { c.bootLength = 5; },
         PARAMETER_ERROR,
         false,
         none,
         {}},
        {"null image with a length",
         [](Call &c, Options &, FakePort &) {
             c.image = nullptr;
             c.imageLength = 1;
         },
         PARAMETER_ERROR,
         false,
         none,
         {}},
        {"null identifier block",
         [](Call &c, Options &, FakePort &) { c.productId = nullptr; },
         PARAMETER_ERROR,
         false,
         none,
         {}},
        // Image address + 0x7FE0 would wrap round to 0: no fill, the identifier at 0.
        {"image area past the top of the address space",
         [](Call &c, Options &, FakePort &) { c.imageAddress = static_cast<int>(0xFFFF8020u); },
         PARAMETER_ERROR,
         false,
         none,
         {}},
        {"identifier block past the top of the address space",
         [](Call &c, Options &, FakePort &) { c.imageAddress = static_cast<int>(0xFFFF8001u); },
         PARAMETER_ERROR,
         false,
         none,
         {}},
        {"boot file past the top of the address space",
         [](Call &c, Options &, FakePort &) {
             c.boot = longImage.data();
             c.bootLength = 17;
             c.loadAddress = static_cast<int>(0xFFFFFFF0u);
         },
         PARAMETER_ERROR,
         false,
         none,
         {}},
        // The last image area that fits: the identifier ends at 0xFFFFFFFF.
        {"image area at the top of the address space",
         [](Call &c, Options &o, FakePort &) {
             c.imageAddress = static_cast<int>(0xFFFF8000u);
             o.imageAddress = 0xFFFF8000u;
         },
         0,
         true,
         Texts{"FirmLoaderDL Reset\n", "FirmLoaderDL End\n"},
         {"Connecting...", "Connecting...", "Waiting...", "Success"}},
        {"port that never opens",
         [](Call &, Options &, FakePort &p) { p.refuseOpens(-1); },
         OPEN_COM_PORT,
         false,
         Texts{"FirmLoaderDL OpenPort", " - OpenPort 3 Start", " - R", " - ERRROR\n"},
         {"Connecting..."}},
        {"port number 0",
         [](Call &c, Options &, FakePort &) { c.number = 0; },
         OPEN_COM_PORT,
         false,
         Texts{"FirmLoaderDL OpenPort", " - ERRROR\n"},
         {"Connecting..."}},
        {"read timeout not settable",
         [](Call &, Options &, FakePort &p) { p.failCall(PortCall::GetTimeouts); },
         COM_ERROR,
         true,
         Texts{"FirmLoaderDL SetReadTimeout", " - SetReadTimeout ClosePort \n",
               "CloseHandle NULL !!\n", " - ERRROR\n"},
         {"Connecting..."}},
        {"baud rate not changeable",
         [](Call &, Options &, FakePort &) {},
         OPEN_COM_PORT,
         true,
         Texts{"FirmLoaderDL Launch execution\n", " - ChangeBaudRate ClosePort \n"},
         {"Connecting...", "Connecting..."}},
        {"flashing refused",
         [](Call &, Options &o, FakePort &) { o.flashAnswer = Options::FlashAnswer::Nak; },
         NACK_ERROR, true,
         Texts{"FirmLoaderDL Execute flashing\n", "CheckACK Start\n", "CheckACK ClosePort 5\n",
               "CheckACK NACK received\n"},
         beforeFlashing},
        {"flashing never acknowledged",
         [](Call &, Options &o, FakePort &) { o.flashAnswer = Options::FlashAnswer::Silent; },
         TIMEOUT_ERROR, true,
         Texts{"FirmLoaderDL Execute flashing\n", "CheckACK Start\n", "CheckACK ClosePort 4\n"},
         beforeFlashing},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ProgressLog::start();
        FakeLinkEnvironment fresh;
        FakePort &freshPort = fresh.serial.port(3);
        Call call;
        Options options;
        c.arrange(call, options, freshPort);
        BootLoaderPeer bootLoader(options);
        if (std::string(c.name) == "baud rate not changeable")
            bootLoader.failBaudChangeAfterLaunch();
        freshPort.setReader(&bootLoader);
        const int result = FirmLoaderDL_(call.config, call.configLength, call.boot, call.bootLength,
                                         call.image, call.imageLength, call.number, call.productId,
                                         recordReport, call.imageAddress, call.loadAddress);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(freshPort.openings(), c.opened ? 1 : 0);
        EXPECT_FALSE(freshPort.isOpen());
        const Texts trace = fresh.trace.texts();
        ASSERT_GE(trace.size(), c.traceEnd.size());
        EXPECT_EQ(Texts(trace.end() - static_cast<long>(c.traceEnd.size()), trace.end()),
                  c.traceEnd);
        if (c.result == PARAMETER_ERROR) {
            EXPECT_EQ(freshPort.openAttempts(), 0);
            EXPECT_TRUE(trace.empty());
        }
        std::vector<std::string> texts;
        for (const Report &report : ProgressLog::reports())
            texts.push_back(report.text);
        EXPECT_EQ(texts, c.reports);
    }
}

TEST_F(FirmLoaderTest, RunsTheSameWithoutACallback)
{
    Files files;
    files.config = counting(70, 0x01);
    files.boot = counting(33, 0x02);
    files.image = counting(0x7F00, 0x03);
    usePeer();
    ASSERT_EQ(load(files, recordReport), 0);
    const Bytes withCallback = port.written();
    const uint64_t tookWithCallback = env.clock.nowMs();

    FakeLinkEnvironment fresh;
    FakePort &freshPort = fresh.serial.port(3);
    BootLoaderPeer bootLoader;
    freshPort.setReader(&bootLoader);
    EXPECT_EQ(load(files, nullptr), 0);
    EXPECT_EQ(freshPort.written(), withCallback);
    EXPECT_EQ(fresh.clock.nowMs(), tookWithCallback);
    EXPECT_EQ(fresh.trace.texts(), kSuccessTrace);
}
