// ThirdPartyUpdate_ on a fake port and a virtual clock: every frame the
// host writes, every pause, every wait, every report and trace, for
// packages of several sizes and for each way the exchange can fail.

#include "FakeLinkEnvironment.h"
#include "ProgressLog.h"
#include "UpdatePeer.h"
#include "api/rdrload.h"
#include "platform/ThreadId.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

using namespace rdrload;
using namespace rdrload::testing;
using Texts = std::vector<std::string>;
using Kind = PortEvent::Kind;

namespace {

constexpr int kPort = 3;
constexpr uint8_t kAckByte = 0x06;
constexpr uint8_t kNakByte = 0x15;

// What the callback saw; a callback has no context argument, so it is global.
struct ReportLog {
    std::vector<Report> reports;
    uint32_t raiseThresholdTo = 0;
    bool sameThread = true;
    bool thresholdStartedAtZero = true;
};
ReportLog *g_log = nullptr;

void recordReport(void *argument)
{
    auto *info = static_cast<ProgressInfo *>(argument);
    g_log->sameThread = g_log->sameThread && info->threadId == currentThreadId();
    if (g_log->reports.empty()) {
        g_log->thresholdStartedAtZero = *info->nextReport == 0;
        if (g_log->raiseThresholdTo != 0)
            *info->nextReport = g_log->raiseThresholdTo;
    }
    g_log->reports.push_back({info->text, info->done, info->remaining});
}

Bytes frame(uint32_t first, uint32_t second)
{
    Bytes bytes;
    for (uint32_t value : {first, second}) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
    return bytes;
}

Bytes packageOf(uint32_t length)
{
    Bytes package(length);
    for (uint32_t i = 0; i < length; ++i)
        package[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return package;
}

// One transfer on a fresh fake port: the environment, the reader and what
// the callback saw.
struct Transfer {
    explicit Transfer(uint32_t length, uint8_t decision = 0)
        : package(packageOf(length)), peer(length, decision)
    {
        port.setReader(&peer);
        g_log = &log;
    }
    ~Transfer() { g_log = nullptr; }
    Transfer(const Transfer &) = delete;
    Transfer &operator=(const Transfer &) = delete;

    int run()
    {
        return ThirdPartyUpdate_(package.data(), package.size(), 0, kPort, 0, recordReport);
    }

    std::vector<const PortEvent *> events(Kind kind) const
    {
        std::vector<const PortEvent *> found;
        for (const PortEvent &event : port.events()) {
            if (event.kind == kind)
                found.push_back(&event);
        }
        return found;
    }

    std::vector<Bytes> writes() const
    {
        std::vector<Bytes> all;
        for (const PortEvent *event : events(Kind::Write))
            all.push_back(event->data);
        return all;
    }

    Texts reportTexts() const
    {
        Texts texts;
        for (const Report &report : log.reports)
            texts.push_back(report.text);
        return texts;
    }

    FakeLinkEnvironment env;
    FakePort &port = env.serial.port(kPort);
    Bytes package;
    UpdatePeer peer;
    ReportLog log;
};

const char *const kFirstReports[] = {"Waiting ACK before sending info",
                                     "Waiting mode before sending datas", "Sending initial packet"};
const char kFinalReport[] = "\nUpdate package transfer successful\n";

} // namespace

TEST(ThirdPartyUpdate, SendsEveryFrameAndPiecesWithAPauseAfterEachPiece)
{
    struct Case {
        uint32_t length;
        Bytes information;             // the package information as the wire carries it
        std::vector<uint32_t> packets; // the packets' data lengths
    };
    const Case cases[] = {
        {0, {0, 0, 0, 0, 0x00, 0x00, 0x00, 0}, {}},
        {1, {0, 0, 0, 0, 0x01, 0x00, 0x00, 0}, {1}},
        {256, {0, 0, 0, 0, 0x00, 0x01, 0x00, 0}, {256}},
        {8192, {0, 0, 0, 0, 0x00, 0x20, 0x00, 0}, {8192}},
        {8193, {0, 0, 0, 0, 0x01, 0x20, 0x00, 0}, {8192, 1}},
        // clang-format off
        {70000, {0, 0, 0, 0, 0x70, 0x11, 0x01, 0}, {8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 4464}},
        // clang-format on
    };
    for (const Case &c : cases) {
        SCOPED_TRACE("package of " + std::to_string(c.length) + " bytes");
        Transfer transfer(c.length);
        ASSERT_EQ(transfer.run(), 0);

        // The frames and pieces, in order; which writes are pieces.
        std::vector<Bytes> expected{{'2'}, c.information, {kAckByte}, Bytes(8, 0)};
        std::vector<bool> isPiece(expected.size(), false);
        std::vector<Report> expectedReports;
        for (const char *text : kFirstReports)
            expectedReports.push_back({text, 0, 0});
        Texts expectedTraces{" - OpenPort 3 Start", " - R", "ThirdPartyUpdate OpenPort \n",
                             "ThirdPartyUpdate initial Step\n",
                             "ThirdPartyUpdate sending packet -"};
        std::vector<uint32_t> expectedSleeps{5, 100, 5};
        uint32_t offset = 0;
        for (std::size_t i = 0; i < c.packets.size(); ++i) {
            const uint32_t length = c.packets[i];
            expected.push_back(frame(static_cast<uint32_t>(i + 1), length));
            isPiece.push_back(false);
            for (uint32_t at = 0; at < length; at += 256) {
                const uint32_t piece = std::min<uint32_t>(256, length - at);
                auto from = transfer.package.begin() + offset + at;
                expected.emplace_back(from, from + piece);
                isPiece.push_back(true);
                expectedSleeps.push_back(5);
            }
            offset += length;
            expectedReports.push_back({"Data transfer...", offset, c.length - offset});
            expectedTraces.insert(expectedTraces.end(), {" H -", " P -"});
        }
        expected.push_back({0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0});
        isPiece.push_back(false);
        expectedReports.push_back({"Sending closure packet", c.length, 0});
        expectedReports.push_back({kFinalReport, c.length, 0});
        expectedTraces.insert(expectedTraces.end(), {"\n", "ThirdPartyUpdate ClosePort \n"});
        expectedSleeps.push_back(1000);

        EXPECT_EQ(transfer.writes(), expected);
        EXPECT_EQ(transfer.peer.unexpectedBytes(), 0u);
        EXPECT_EQ(transfer.log.reports, expectedReports);
        EXPECT_TRUE(transfer.log.sameThread);
        EXPECT_TRUE(transfer.log.thresholdStartedAtZero);
        EXPECT_EQ(transfer.env.clock.sleeps(), expectedSleeps);

        // 5 ms pass after each piece and after nothing else, before the
        // next call on the port.
        const std::vector<PortEvent> &all = transfer.port.events();
        std::size_t write = 0;
        for (std::size_t i = 0; i + 1 < all.size(); ++i) {
            if (all[i].kind != Kind::Write)
                continue;
            const uint64_t gap = all[i + 1].atMs - all[i].atMs;
            EXPECT_EQ(gap, isPiece[write] ? 5u : 0u) << "after write " << write;
            ++write;
        }

        // The waits as they are set: 10 s for the wake and the request, 5 s
        // for the information, 60 s for the initial packet, 5 s for headers
        // and packets, 60 s for the closure packet (already in force when
        // there was no packet).
        std::vector<uint32_t> waits;
        for (const PortEvent *event : transfer.events(Kind::Timeouts))
            waits.push_back(event->timeouts.readConstant);
        std::vector<uint32_t> expectedWaits{10000, 5000, 60000};
        if (!c.packets.empty())
            expectedWaits.insert(expectedWaits.end(), {5000, 60000});
        EXPECT_EQ(waits, expectedWaits);

        Texts traces;
        int checkAcks = 0;
        for (const std::string &text : transfer.env.trace.texts()) {
            if (text == "CheckACK Start\n")
                ++checkAcks;
            else
                traces.push_back(text);
        }
        EXPECT_EQ(traces, expectedTraces);
        EXPECT_EQ(checkAcks, 5 + 2 * static_cast<int>(c.packets.size()));
        EXPECT_FALSE(transfer.port.isOpen());
        EXPECT_EQ(transfer.port.openings(), 1);
        EXPECT_EQ(transfer.port.count(Kind::Close), 1);
    }
}

TEST(ThirdPartyUpdate, EachFailureHasItsResultAndTraceAndClosesThePort)
{
    enum class Write { Right, Fails, Short };
    struct Case {
        uint32_t length;
        uint8_t decision;
        const char *frame;           // the frame that goes wrong
        std::optional<Bytes> answer; // the reader's answer to it instead of the usual
        Write write;                 // or the host's write of it goes wrong
        int result;
        const char *trace; // the last trace text
        bool closedTwice;  // the link layer closed the port, then the operation again
    };
    const Bytes silence{}, nak{kNakByte}, other{0x41};
    const Write R = Write::Right;
    // clang-format off
    const Case cases[] = {
        // The early acknowledgements give 1 whatever CheckACK said (6, 8, 18).
        {10, 0, "wake", silence, R, 1, "ThirdPartyUpdate Double break ACK Error \n", true},
        {10, 0, "wake", other, R, 1, "ThirdPartyUpdate Double break ACK Error \n", true},
        {10, 0, "request", nak, R, 1, "ThirdPartyUpdateSend character '2' Error \n", true},
        {10, 0, "request", silence, R, 1, "ThirdPartyUpdateSend character '2' Error \n", true},
        {10, 0, "information", Bytes{0x41, 0}, R, 1, "ThirdPartyUpdateSend send package information ACK Error \n", true},
        {10, 0, "information", Bytes{kNakByte, 0}, R, 1, "ThirdPartyUpdateSend send package information ACK Error \n", true},
        // No decision byte; a refusal after the host's ACK of it.
        {10, 0, "information", Bytes{kAckByte}, R, 6, "ThirdPartyUpdate check package information Error \n", false},
        {10, 3, "", {}, R, static_cast<int>(0xFF000003u), "ThirdPartyUpdate denial\n", false},
        {10, 255, "", {}, R, static_cast<int>(0xFF0000FFu), "ThirdPartyUpdate denial\n", false},
        // The later acknowledgements give CheckACK's own result.
        {10, 0, "initial", silence, R, 6, "ThirdPartyUpdate initial Step ACK Error \n", true},
        {20000, 0, "header2", nak, R, 8, "\nThirdPartyUpdate Send header ACK Error 2\n", true},
        {20000, 0, "header1", other, R, 18, "\nThirdPartyUpdate Send header ACK Error 1\n", true},
        {20000, 0, "packet2", nak, R, 8, "\nThirdPartyUpdate Send packet ACK Error 2\n", true},
        {20000, 0, "packet3", silence, R, 6, "\nThirdPartyUpdate Send packet ACK Error 3\n", true},
        {10, 0, "closure", nak, R, 8, "ThirdPartyUpdate end ACK Error \n", true},
        // Writes that fail or come up short give 18.
        {10, 0, "request", {}, Write::Fails, 18, "ThirdPartyUpdate ClosePort \n", false},
        {10, 0, "information", {}, Write::Short, 18, "ThirdPartyUpdate send package information Error \n", false},
        {10, 0, "hostAck", {}, Write::Fails, 18, "ThirdPartyUpdate ClosePort 5 \n", false},
        {10, 0, "initial", {}, Write::Short, 18, "ThirdPartyUpdate initial Step error \n", false},
        {20000, 0, "header2", {}, Write::Fails, 18, "\nThirdPartyUpdate sending header Error step 2\n", false},
        {20000, 0, "packet1", {}, Write::Short, 18, "\nThirdPartyUpdate sending packet Error1\n", false},
        {10, 0, "closure", {}, Write::Fails, 18, "ThirdPartyUpdate end error \n", false},
    };
    // clang-format on
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case &c = cases[i];
        SCOPED_TRACE("case " + std::to_string(i) + ", " + c.trace);
        Transfer transfer(c.length, c.decision);
        if (c.answer)
            transfer.peer.setAnswer(c.frame, *c.answer);
        if (c.write == Write::Fails)
            transfer.peer.failWrite(c.frame);
        if (c.write == Write::Short)
            transfer.peer.shortenWrite(c.frame, 3);

        EXPECT_EQ(transfer.run(), c.result);
        const Texts traces = transfer.env.trace.texts();
        ASSERT_FALSE(traces.empty());
        EXPECT_EQ(traces.back(), c.trace);
        EXPECT_EQ(transfer.env.trace.count("CloseHandle NULL !!\n"), c.closedTwice ? 1 : 0);
        EXPECT_FALSE(transfer.port.isOpen());
        EXPECT_EQ(transfer.port.count(Kind::Close), 1);
        for (const Report &report : transfer.log.reports)
            EXPECT_NE(report.text, kFinalReport);
    }
}

TEST(ThirdPartyUpdate, ARefusedPackageIsAcknowledgedAndNothingIsSent)
{
    Transfer transfer(100, 3);
    const int result = transfer.run();
    EXPECT_EQ(result, static_cast<int>(0xFF000003u));
    EXPECT_LT(result, 0);
    EXPECT_EQ(transfer.writes(), (std::vector<Bytes>{{'2'}, frame(0, 100), {kAckByte}}));
    EXPECT_EQ(transfer.reportTexts(), (Texts{kFirstReports[0], kFirstReports[1]}));
}

TEST(ThirdPartyUpdate, AMissingDecisionIsAwaitedFiveSeconds)
{
    Transfer transfer(10);
    transfer.peer.setAnswer("information", Bytes{kAckByte});
    EXPECT_EQ(transfer.run(), 6);
    // The plain read after the information's ACK keeps CheckACK's 5 s.
    const std::vector<const PortEvent *> reads = transfer.events(Kind::Read);
    ASSERT_FALSE(reads.empty());
    const PortEvent &decision = *reads.back();
    EXPECT_EQ(decision.requested, 1u);
    EXPECT_TRUE(decision.data.empty());
    const std::vector<const PortEvent *> closes = transfer.events(Kind::Close);
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0]->atMs - decision.atMs, 5001u);
}

TEST(ThirdPartyUpdate, OnlyTheDataReportsAndTheFinalOneWaitForTheThreshold)
{
    struct Case {
        uint32_t length;
        uint32_t threshold; // written into the counter at the first report
        Texts reports;
    };
    const Texts before{kFirstReports[0], kFirstReports[1], kFirstReports[2]};
    auto with = [&before](Texts after) {
        Texts all = before;
        all.insert(all.end(), after.begin(), after.end());
        return all;
    };
    const Case cases[] = {
        {20000, 0,
         with({"Data transfer...", "Data transfer...", "Data transfer...", "Sending closure packet",
               kFinalReport})},
        {20000, 16384,
         with({"Data transfer...", "Data transfer...", "Sending closure packet", kFinalReport})},
        {20000, 20000, with({"Data transfer...", "Sending closure packet", kFinalReport})},
        {20000, 20001, with({"Sending closure packet"})},
        {0, 0, with({"Sending closure packet", kFinalReport})},
        {0, 1, with({"Sending closure packet"})},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.length) + " bytes, threshold " + std::to_string(c.threshold));
        Transfer transfer(c.length);
        transfer.log.raiseThresholdTo = c.threshold;
        EXPECT_EQ(transfer.run(), 0);
        EXPECT_EQ(transfer.reportTexts(), c.reports);
    }
}

TEST(ThirdPartyUpdate, PackagesTheWireCannotCarryAreRefusedBeforeThePortOpens)
{
    Transfer transfer(0);
    unsigned char byte = 0x55;
    if (sizeof(unsigned long) > 4) {
        // 2^32 bytes would be announced as 0: refused without reading it.
        const unsigned long tooLong = static_cast<unsigned long>(UINT32_MAX) + 1;
        EXPECT_EQ(ThirdPartyUpdate_(&byte, tooLong, 0, kPort, 0, recordReport), 10);
        EXPECT_EQ(ThirdPartyUpdate_(&byte, ~0ul, 0, kPort, 0, recordReport), 10);
    }
    EXPECT_EQ(ThirdPartyUpdate_(nullptr, 1, 0, kPort, 0, recordReport), 10);
    EXPECT_EQ(transfer.port.openAttempts(), 0);
    EXPECT_TRUE(transfer.log.reports.empty());
    EXPECT_TRUE(transfer.env.trace.texts().empty());

    // A null package of no bytes has nothing to read: it goes through.
    EXPECT_EQ(ThirdPartyUpdate_(nullptr, 0, 0, kPort, 0, recordReport), 0);
    EXPECT_EQ(transfer.peer.framesReceived().back(), "closure");
}

TEST(ThirdPartyUpdate, APortThatNeverOpensFailsAfterTenSeconds)
{
    Transfer transfer(10);
    transfer.port.refuseOpens(-1);
    EXPECT_EQ(transfer.run(), 1);
    EXPECT_EQ(transfer.env.trace.texts().back(), "ThirdPartyUpdate Open Port Fail\n");
    EXPECT_EQ(transfer.env.clock.nowMs(), 10000u);
    EXPECT_TRUE(transfer.log.reports.empty());
    EXPECT_EQ(ThirdPartyUpdate_(transfer.package.data(), 10, 0, 0, 0, recordReport), 1);
}
