// ThirdPartyUpdate_ on a fake port and a virtual clock: every frame the
// host writes, every pause, every wait, every report and trace, for
// packages of several sizes and for each way the exchange can fail.

#include "FakeLinkEnvironment.h"
#include "UpdatePeer.h"
#include "api/rdrload.h"
#include "link/ThreadId.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
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

struct Report {
    std::string text;
    uint32_t done;
    uint32_t remaining;
    bool operator==(const Report &other) const
    {
        return text == other.text && done == other.done && remaining == other.remaining;
    }
};

std::ostream &operator<<(std::ostream &out, const Report &report)
{
    return out << "{\"" << report.text << "\", " << report.done << ", " << report.remaining << "}";
}

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

    int run(ProgressCallback callback = recordReport)
    {
        return ThirdPartyUpdate_(package.data(), package.size(), 0, kPort, 0, callback);
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
        {70000,
         {0, 0, 0, 0, 0x70, 0x11, 0x01, 0},
         {8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 4464}},
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

TEST(ThirdPartyUpdate, RunsTheSameWithoutACallback)
{
    Transfer with(8193);
    ASSERT_EQ(with.run(), 0);
    Transfer without(8193);
    ASSERT_EQ(without.run(nullptr), 0);
    EXPECT_TRUE(without.log.reports.empty());
    EXPECT_EQ(without.writes(), with.writes());
    EXPECT_EQ(without.env.trace.texts(), with.env.trace.texts());
}

TEST(ThirdPartyUpdate, EachFailureHasItsResultAndTraceAndClosesThePort)
{
    enum class Write { Fails, Short };
    struct Case {
        const char *name;
        uint32_t length;
        uint8_t decision;
        const char *frame;           // the frame that goes wrong
        std::optional<Bytes> answer; // the reader's answer to it instead of the usual
        std::optional<Write> write;  // or the host's write of it goes wrong
        int result;
        const char *trace; // the last trace text
        bool closedTwice;  // the link layer closed first, then the operation
    };
    const Bytes silence{};
    const Bytes nak{kNakByte};
    const Bytes other{0x41};
    const int refusal3 = static_cast<int>(0xFF000003u);
    const int refusalFF = static_cast<int>(0xFF0000FFu);
    const char *wakeError = "ThirdPartyUpdate Double break ACK Error \n";
    const char *requestError = "ThirdPartyUpdateSend character '2' Error \n";
    const char *informationError = "ThirdPartyUpdateSend send package information ACK Error \n";
    const Case cases[] = {
        // The early acknowledgements give 1 whatever went wrong.
        {"wake silent", 10, 0, "wake", silence, {}, 1, wakeError, true},
        {"wake NAK", 10, 0, "wake", nak, {}, 1, wakeError, true},
        {"wake other", 10, 0, "wake", other, {}, 1, wakeError, true},
        {"request silent", 10, 0, "request", silence, {}, 1, requestError, true},
        {"request NAK", 10, 0, "request", nak, {}, 1, requestError, true},
        {"request other", 10, 0, "request", other, {}, 1, requestError, true},
        {"information silent", 10, 0, "information", silence, {}, 1, informationError, true},
        {"information NAK",
         10,
         0,
         "information",
         Bytes{kNakByte, 0},
         {},
         1,
         informationError,
         true},
        {"information other", 10, 0, "information", Bytes{0x41, 0}, {}, 1, informationError, true},
        // The decision.
        {"no decision",
         10,
         0,
         "information",
         Bytes{kAckByte},
         {},
         6,
         "ThirdPartyUpdate check package information Error \n",
         false},
        {"refused, reason 3", 10, 3, nullptr, {}, {}, refusal3, "ThirdPartyUpdate denial\n", false},
        {"refused, reason 255",
         10,
         255,
         nullptr,
         {},
         {},
         refusalFF,
         "ThirdPartyUpdate denial\n",
         false},
        // The later acknowledgements give CheckACK's own result.
        {"initial NAK",
         10,
         0,
         "initial",
         nak,
         {},
         8,
         "ThirdPartyUpdate initial Step ACK Error \n",
         true},
        {"initial silent",
         10,
         0,
         "initial",
         silence,
         {},
         6,
         "ThirdPartyUpdate initial Step ACK Error \n",
         true},
        {"header 2 NAK",
         20000,
         0,
         "header2",
         nak,
         {},
         8,
         "\nThirdPartyUpdate Send header ACK Error 2\n",
         true},
        {"header 1 other",
         20000,
         0,
         "header1",
         other,
         {},
         18,
         "\nThirdPartyUpdate Send header ACK Error 1\n",
         true},
        {"packet 2 NAK",
         20000,
         0,
         "packet2",
         nak,
         {},
         8,
         "\nThirdPartyUpdate Send packet ACK Error 2\n",
         true},
        {"packet 3 silent",
         20000,
         0,
         "packet3",
         silence,
         {},
         6,
         "\nThirdPartyUpdate Send packet ACK Error 3\n",
         true},
        {"closure NAK", 10, 0, "closure", nak, {}, 8, "ThirdPartyUpdate end ACK Error \n", true},
        {"closure silent",
         10,
         0,
         "closure",
         silence,
         {},
         6,
         "ThirdPartyUpdate end ACK Error \n",
         true},
        // Writes that fail or come up short give 18.
        {"request write",
         10,
         0,
         "request",
         {},
         Write::Fails,
         18,
         "ThirdPartyUpdate ClosePort \n",
         false},
        {"information write",
         10,
         0,
         "information",
         {},
         Write::Fails,
         18,
         "ThirdPartyUpdate send package information Error \n",
         false},
        {"information short",
         10,
         0,
         "information",
         {},
         Write::Short,
         18,
         "ThirdPartyUpdate send package information Error \n",
         false},
        {"decision ACK write",
         10,
         0,
         "hostAck",
         {},
         Write::Fails,
         18,
         "ThirdPartyUpdate ClosePort 5 \n",
         false},
        {"initial short",
         10,
         0,
         "initial",
         {},
         Write::Short,
         18,
         "ThirdPartyUpdate initial Step error \n",
         false},
        {"header 2 write",
         20000,
         0,
         "header2",
         {},
         Write::Fails,
         18,
         "\nThirdPartyUpdate sending header Error step 2\n",
         false},
        {"packet 1 piece short",
         20000,
         0,
         "packet1",
         {},
         Write::Short,
         18,
         "\nThirdPartyUpdate sending packet Error1\n",
         false},
        {"closure write",
         10,
         0,
         "closure",
         {},
         Write::Fails,
         18,
         "ThirdPartyUpdate end error \n",
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
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
