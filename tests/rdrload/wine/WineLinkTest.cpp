// The link layer on Windows under Wine, over the Win32 serial service,
// against reader-sim processes mapped to COM ports of the Wine prefix: the
// cases of the Linux pty test that a Wine COM port can show.

#include "DebuggeeRun.h"
#include "RecordingTraceSink.h"
#include "ScopedLinkServices.h"
#include "VirtualClock.h"
#include "WineReaders.h"
#include "link/SerialLink.h"
#include "platform/PlatformServices.h"
#include "platform/SteadyClock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using namespace rdrload;
using namespace rdrload::testing;
using Texts = std::vector<std::string>;

namespace {

// A bound that only proves a wait ends.
constexpr long kGenerousMs = 3000;
// How far a timed read may stray from n + constant ms under Wine.
constexpr long kFewMs = 10;

long msSince(std::chrono::steady_clock::time_point start)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count());
}

class WineLinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!wineReadersPresent())
            GTEST_SKIP() << "no simulated readers: run through scripts/wine-tests";
    }

    // Opens `port` and waits for the reader's answer to the double break.
    PortHandle openAndWake(int port)
    {
        PortHandle handle = nullptr;
        EXPECT_EQ(OpenPort(port, &handle, 57600), 0);
        SendDoubleBreak(handle);
        EXPECT_EQ(CheckACK(&handle, 10000), 0);
        return handle;
    }

    std::unique_ptr<SerialSystem> serial = createPlatformSerialSystem(platformDeviceFolder());
    SteadyClock clock;
    RecordingTraceSink trace;
    ScopedLinkServices installed{LinkServices{serial.get(), &clock, &trace}};
};

} // namespace

TEST_F(WineLinkTest, OpensWakesAcknowledgesAndClosesAReader)
{
    ReaderJournal journal(kAckReaderPort);
    auto start = std::chrono::steady_clock::now();
    PortHandle handle = openAndWake(kAckReaderPort);
    EXPECT_LT(msSince(start), kGenerousMs); // the ACK ended the 10 s wait
    EXPECT_EQ(Acknowledge(&handle), 0);
    start = std::chrono::steady_clock::now();
    ClosePort(&handle);
    EXPECT_GE(msSince(start), 1000);
    EXPECT_EQ(handle, invalidPortHandle());
    EXPECT_EQ(trace.texts(), (Texts{" - OpenPort 7 Start", " - R", "CheckACK Start\n"}));
    ASSERT_TRUE(journal.waitForNewLine("close", kGenerousMs));
    EXPECT_EQ(journal.newLines(), (Texts{"open", "send 06", "recv 06", "close"}));
}

TEST_F(WineLinkTest, EachAnswerToTheWakeHasItsResult)
{
    struct Case {
        int port;
        uint32_t timeoutMs;
        int result;
        Texts traceAfterStart;
    };
    const Case cases[] = {
        {kAckReaderPort, 10000, 0, {}},
        {kSilentReaderPort, 400, 6, {"CheckACK ClosePort 4\n"}},
        {kNakReaderPort, 10000, 8, {"CheckACK ClosePort 5\n", "CheckACK NACK received\n"}},
        {kOtherReaderPort, 10000, 18, {"CheckACK ClosePort 5\n", "CheckACK Unknown received\n"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE("COM" + std::to_string(c.port));
        trace.clear();
        PortHandle handle = nullptr;
        ASSERT_EQ(OpenPort(c.port, &handle, 57600), 0);
        SendDoubleBreak(handle);
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(CheckACK(&handle, c.timeoutMs), c.result);
        const long elapsed = msSince(start);
        Texts expected{" - OpenPort " + std::to_string(c.port) + " Start", " - R",
                       "CheckACK Start\n"};
        expected.insert(expected.end(), c.traceAfterStart.begin(), c.traceAfterStart.end());
        EXPECT_EQ(trace.texts(), expected);
        if (c.result == 0) {
            EXPECT_TRUE(isOpenPort(handle));
            ClosePort(&handle);
        } else {
            EXPECT_EQ(handle, invalidPortHandle());
        }
        if (c.result == 6) { // the whole wait, then the pause after the close
            EXPECT_GE(elapsed, 401 + 1000);
            EXPECT_LT(elapsed, 1401 + kGenerousMs);
        }
    }
}

TEST_F(WineLinkTest, CarriesEveryByteValueUnchangedBothWays)
{
    PortHandle handle = openAndWake(kAckReaderPort);
    std::vector<unsigned char> data;
    for (int value = 0; value < 256; ++value)
        data.push_back(static_cast<unsigned char>(value));
    // XON and XOFF again, among CR, LF, ^C and ^D: no flow control may act.
    for (unsigned char special : {0x11, 0x13, 0x0d, 0x0a, 0x03, 0x04, 0x13, 0x11})
        data.push_back(special);

    const unsigned char request[] = {'L', static_cast<unsigned char>(data.size() & 0xff),
                                     static_cast<unsigned char>(data.size() >> 8)};
    std::size_t written = 0;
    ASSERT_TRUE(WritePort(handle, request, 1, &written));
    ASSERT_EQ(CheckACK(&handle, 5000), 0);
    ASSERT_TRUE(WritePort(handle, request + 1, 2, &written));
    ASSERT_EQ(CheckACK(&handle, 5000), 0);
    ASSERT_TRUE(WritePort(handle, data.data(), data.size(), &written));
    EXPECT_EQ(written, data.size());

    std::vector<unsigned char> echoed(data.size() + 1);
    std::size_t received = 0;
    ASSERT_TRUE(ReadPort(handle, echoed.data(), data.size(), &received));
    echoed.resize(received);
    EXPECT_EQ(echoed, data);
    ClosePort(&handle);
}

TEST_F(WineLinkTest, AReadWaitsTheByteCountPlusTheConstant)
{
    PortHandle handle = openAndWake(kAckReaderPort);
    struct Case {
        std::size_t bytes;
        uint32_t constant;
    };
    for (Case c : {Case{1, 100}, Case{1, 500}, Case{16, 250}, Case{128, 1000}}) {
        ASSERT_EQ(SetReadTimeout(handle, c.constant), 0);
        std::vector<unsigned char> buffer(c.bytes);
        std::size_t received = 99;
        auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(ReadPort(handle, buffer.data(), c.bytes, &received));
        const long elapsed = msSince(start);
        const long expected = static_cast<long>(c.bytes + c.constant);
        EXPECT_EQ(received, 0u);
        EXPECT_GE(elapsed, expected - kFewMs);
        EXPECT_LE(elapsed, expected + kFewMs);
        std::printf("read of %zu bytes, constant %u ms: %ld ms (expected %ld)\n", c.bytes,
                    c.constant, elapsed, expected);
    }
    ClosePort(&handle);
}

TEST_F(WineLinkTest, TheLineIsRawEightBitsWithoutFlowControl)
{
    PortHandle handle = openAndWake(kAckReaderPort);
    ASSERT_EQ(ChangeBaudRate(handle, 115200), 0);
    LineControl control;
    ASSERT_TRUE(handle->getControl(control));
    EXPECT_EQ(control.length, kLineControlSize);
    EXPECT_EQ(control.baudRate, 115200u);
    EXPECT_EQ(control.byteSize, 8);
    EXPECT_EQ(control.parity, kNoParity);
    EXPECT_EQ(control.stopBits, kOneStopBit);
    EXPECT_FALSE(control.outX);
    EXPECT_FALSE(control.inX);
    EXPECT_FALSE(control.outxCtsFlow);
    EXPECT_FALSE(control.outxDsrFlow);
    EXPECT_TRUE(SetRTS(0, handle));
    EXPECT_TRUE(SetDTR(1, handle));
    ClosePort(&handle);
}

TEST_F(WineLinkTest, AnAbsentPortFailsAfterTheThousandAttempts)
{
    // Real opens of a port the prefix does not have, on a virtual clock.
    VirtualClock virtualClock;
    ScopedLinkServices virtualTime(LinkServices{nullptr, &virtualClock, nullptr});
    PortHandle handle = nullptr;
    EXPECT_EQ(OpenPort(200, &handle, 57600), 1);
    EXPECT_EQ(handle, invalidPortHandle());
    EXPECT_EQ(virtualClock.nowMs(), 10000u);
    EXPECT_EQ(OpenPort(0, &handle, 57600), 1);
    EXPECT_EQ(trace.texts(), (Texts{" - OpenPort 200 Start", " - R"}));
}

// The platform's trace sink on one open, wake-up and two closes, the second
// of a closed port. Run only by the next test, as its debuggee.
TEST_F(WineLinkTest, DISABLED_WritesOneExchangeToThePlatformTraceSink)
{
    ScopedLinkServices platformTrace(LinkServices{nullptr, nullptr, platformLinkServices().trace});
    PortHandle handle = openAndWake(kAckReaderPort);
    ClosePort(&handle);
    ClosePort(&handle);
}

// What a debugger attached to the library's host sees: the texts the Linux
// link tests read from their sink, one debug string each, in order.
TEST_F(WineLinkTest, TracesGoToTheDebuggerStream)
{
    const DebuggeeRun run(
        "--gtest_also_run_disabled_tests "
        "--gtest_filter=WineLinkTest.DISABLED_WritesOneExchangeToThePlatformTraceSink",
        60000);
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.exited()) << run.output();
    EXPECT_EQ(run.exitCode(), 0u) << run.output();
    EXPECT_EQ(run.debugStrings(),
              (Texts{" - OpenPort 7 Start", " - R", "CheckACK Start\n", "CloseHandle NULL !!\n"}));
}
