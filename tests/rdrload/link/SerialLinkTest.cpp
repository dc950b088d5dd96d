// The serial link layer on fake ports and a virtual clock: every wait is
// checked to the millisecond, every trace text byte for byte.

#include "link/SerialLink.h"
#include "FakeLinkEnvironment.h"
#include "link/PortLock.h"

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <vector>

using namespace rdrload;
using namespace rdrload::testing;
using Texts = std::vector<std::string>;
using Kind = PortEvent::Kind;

namespace {

class SerialLinkTest : public ::testing::Test {
protected:
    FakeLinkEnvironment env;
    FakePort &port = env.serial.port(3);

    // Opens COM3 and forgets what the opening traced and waited.
    PortHandle openedPort()
    {
        PortHandle handle = nullptr;
        EXPECT_EQ(OpenPort(3, &handle, 57600), 0);
        env.trace.clear();
        return handle;
    }

    std::vector<Kind> kinds() const
    {
        std::vector<Kind> all;
        for (const PortEvent &event : port.events())
            all.push_back(event.kind);
        return all;
    }
};

LineControl expectedLineFormat(uint32_t baud)
{
    LineControl format; // all zeros but the fields below
    format.length = 28;
    format.baudRate = baud;
    format.byteSize = 8;
    format.parity = 0;
    format.stopBits = 0;
    format.binary = true;
    format.dtrControl = 1;
    format.rtsControl = 1;
    return format;
}

} // namespace

TEST_F(SerialLinkTest, OpenPortPurgesAndSetsTheLineFormat)
{
    PortHandle handle = nullptr;
    EXPECT_EQ(OpenPort(3, &handle, 57600), 0);
    EXPECT_TRUE(isOpenPort(handle));
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(kinds(), (std::vector<Kind>{Kind::Open, Kind::Purge, Kind::Control}));
    EXPECT_EQ(port.events()[1].actions, 0x0Fu);
    EXPECT_EQ(port.control(), expectedLineFormat(57600));
    EXPECT_EQ(env.trace.texts(), (Texts{" - OpenPort 3 Start", " - R"}));
    EXPECT_EQ(env.clock.nowMs(), 0u);
    ClosePort(&handle);
}

TEST_F(SerialLinkTest, OpenPortTakesNumbersOneTo256AndRefusesOthersAtOnce)
{
    for (int number : {0, 257, -1}) {
        PortHandle handle = nullptr;
        EXPECT_EQ(OpenPort(number, &handle, 57600), 1) << number;
        EXPECT_EQ(handle, nullptr);
    }
    EXPECT_TRUE(env.trace.texts().empty());
    EXPECT_EQ(env.clock.nowMs(), 0u);
    EXPECT_EQ(env.serial.absentOpenAttempts(), 0);
    EXPECT_EQ(PortLock::creationCount(), 1); // created before the number is looked at

    FakePort &last = env.serial.port(256);
    PortHandle handle = nullptr;
    EXPECT_EQ(OpenPort(256, &handle, 9600), 0);
    EXPECT_TRUE(last.isOpen());
    EXPECT_EQ(last.control().baudRate, 9600u);
    ClosePort(&handle);
}

TEST_F(SerialLinkTest, OpenPortGivesUpOnAMissingPortAfter1000AttemptsTenMsApart)
{
    PortHandle handle = nullptr;
    EXPECT_EQ(OpenPort(9, &handle, 57600), 1);
    EXPECT_EQ(handle, invalidPortHandle());
    EXPECT_EQ(env.serial.absentOpenAttempts(), 1000);
    EXPECT_EQ(env.clock.sleeps(), std::vector<uint32_t>(1000, 10));
    EXPECT_EQ(env.clock.nowMs(), 10000u);
    EXPECT_EQ(env.trace.texts(), (Texts{" - OpenPort 9 Start", " - R"}));
    // Nothing to close: the variable is already marked closed.
    ClosePort(&handle);
    EXPECT_EQ(env.trace.count("CloseHandle NULL !!\n"), 1);
}

TEST_F(SerialLinkTest, OpenPortTakesThePortWhenItAppearsDuringTheAttempts)
{
    port.refuseOpens(999);
    PortHandle handle = nullptr;
    EXPECT_EQ(OpenPort(3, &handle, 57600), 0);
    EXPECT_EQ(port.openAttempts(), 1000);
    EXPECT_EQ(env.clock.nowMs(), 9990u);
    ClosePort(&handle);
}

TEST_F(SerialLinkTest, APortHeldByAnotherCallerCannotBeOpened)
{
    PortHandle first = openedPort();
    PortHandle second = nullptr;
    EXPECT_EQ(OpenPort(3, &second, 57600), 1);
    EXPECT_EQ(second, invalidPortHandle());
    EXPECT_EQ(port.openAttempts(), 1001);
    EXPECT_EQ(port.openings(), 1);
    // The first holder is untouched.
    EXPECT_EQ(Acknowledge(&first), 0);
    ClosePort(&first);
}

TEST_F(SerialLinkTest, ConfigureFailuresCloseThePortAndReturnOne)
{
    port.failCall(PortCall::GetControl);
    PortHandle handle = nullptr;
    EXPECT_EQ(OpenPort(3, &handle, 57600), 1);
    EXPECT_EQ(handle, invalidPortHandle());
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(env.trace.texts(),
              (Texts{" - OpenPort 3 Start", " - R", " - ConfigureSerialPort ClosePort 1\n"}));
    EXPECT_EQ(env.clock.nowMs(), 1000u); // the pause after the close

    env.trace.clear();
    port.failCall(PortCall::SetControl);
    handle = nullptr;
    EXPECT_EQ(OpenPort(3, &handle, 57600), 1);
    EXPECT_EQ(handle, invalidPortHandle());
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(env.trace.texts(),
              (Texts{" - OpenPort 3 Start", " - R", " - ConfigureSerialPort ClosePort 2\n"}));
}

TEST_F(SerialLinkTest, ChangeBaudRateChangesOnlyTheRate)
{
    PortHandle handle = openedPort();
    ASSERT_TRUE(SetRTS(0, handle));
    LineControl before = port.control();
    EXPECT_EQ(ChangeBaudRate(handle, 115200), 0);
    LineControl expected = before;
    expected.baudRate = 115200;
    EXPECT_EQ(port.control(), expected);
    EXPECT_TRUE(env.trace.texts().empty());
    ClosePort(&handle);

    for (PortCall failing : {PortCall::GetControl, PortCall::SetControl}) {
        env.trace.clear();
        handle = openedPort();
        port.failCall(failing);
        EXPECT_EQ(ChangeBaudRate(handle, 9600), 1);
        EXPECT_EQ(handle, invalidPortHandle());
        EXPECT_FALSE(port.isOpen());
        EXPECT_EQ(port.control().baudRate, 57600u);
        EXPECT_EQ(env.trace.texts(), (Texts{" - ChangeBaudRate ClosePort \n"}));
    }
}

TEST_F(SerialLinkTest, SetReadTimeoutWritesOnlyWhenTheConstantChanges)
{
    PortHandle handle = openedPort();
    EXPECT_EQ(SetReadTimeout(handle, 1000), 0);
    EXPECT_EQ(SetReadTimeout(handle, 1000), 0);
    ASSERT_EQ(port.count(Kind::Timeouts), 1);
    EXPECT_EQ(port.timeouts().readInterval, 0xFFFFFFFFu);
    EXPECT_EQ(port.timeouts().readMultiplier, 1u);
    EXPECT_EQ(port.timeouts().readConstant, 1000u);
    EXPECT_EQ(port.timeouts().writeMultiplier, 0u);
    EXPECT_EQ(port.timeouts().writeConstant, 0u);
    EXPECT_EQ(SetReadTimeout(handle, 30000), 0);
    EXPECT_EQ(port.count(Kind::Timeouts), 2);
    EXPECT_EQ(port.timeouts().readConstant, 30000u);
    EXPECT_TRUE(env.trace.texts().empty());
    ClosePort(&handle);
}

TEST_F(SerialLinkTest, SetReadTimeoutFailuresCloseThePortAndReturnTwo)
{
    for (PortCall failing : {PortCall::GetTimeouts, PortCall::SetTimeouts}) {
        env.trace.clear();
        PortHandle handle = openedPort();
        port.failCall(failing);
        EXPECT_EQ(SetReadTimeout(handle, 500), 2);
        EXPECT_EQ(handle, invalidPortHandle());
        EXPECT_FALSE(port.isOpen());
        EXPECT_EQ(env.trace.texts(), (Texts{" - SetReadTimeout ClosePort \n"}));
    }
}

TEST_F(SerialLinkTest, ReadsWaitTheByteCountPlusTheConstant)
{
    PortHandle handle = openedPort();
    ASSERT_EQ(SetReadTimeout(handle, 1000), 0);
    unsigned char buffer[16];
    std::size_t received = 99;
    uint64_t start = env.clock.nowMs();
    EXPECT_TRUE(ReadPort(handle, buffer, 16, &received));
    EXPECT_EQ(received, 0u);
    EXPECT_EQ(env.clock.nowMs() - start, 1016u);

    // Bytes that come in time end the read at the last byte's arrival.
    port.send(Bytes{1, 2, 3, 4}, 700);
    start = env.clock.nowMs();
    EXPECT_TRUE(ReadPort(handle, buffer, 4, &received));
    EXPECT_EQ(received, 4u);
    EXPECT_EQ(env.clock.nowMs() - start, 700u);

    // Too few: what arrived is handed back after the full wait.
    port.send(Bytes{7, 8}, 10);
    start = env.clock.nowMs();
    EXPECT_TRUE(ReadPort(handle, buffer, 3, &received));
    EXPECT_EQ(received, 2u);
    EXPECT_EQ(buffer[0], 7);
    EXPECT_EQ(buffer[1], 8);
    EXPECT_EQ(env.clock.nowMs() - start, 1003u);
    ClosePort(&handle);
}

TEST_F(SerialLinkTest, ClosePortClosesMarksInvalidAndPausesOneSecondAfterwards)
{
    PortHandle handle = openedPort();
    uint64_t start = env.clock.nowMs();
    ClosePort(&handle);
    EXPECT_EQ(handle, invalidPortHandle());
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(env.clock.nowMs() - start, 1000u);
    EXPECT_TRUE(env.trace.texts().empty());
    // The port can be opened again.
    PortHandle again = nullptr;
    EXPECT_EQ(OpenPort(3, &again, 57600), 0);
    ClosePort(&again);
}

TEST_F(SerialLinkTest, ClosePortOnAClosedVariableOnlyTracesAndStillPauses)
{
    PortHandle handle = invalidPortHandle();
    ClosePort(&handle);
    EXPECT_EQ(handle, invalidPortHandle());
    EXPECT_EQ(env.trace.texts(), (Texts{"CloseHandle NULL !!\n"}));
    EXPECT_EQ(env.clock.sleeps(), (std::vector<uint32_t>{1000}));

    // A variable that was never opened is treated the same way.
    env.trace.clear();
    PortHandle never = nullptr;
    ClosePort(&never);
    EXPECT_EQ(never, invalidPortHandle());
    EXPECT_EQ(env.trace.texts(), (Texts{"CloseHandle NULL !!\n"}));
    EXPECT_EQ(env.clock.nowMs(), 2000u);
}

TEST_F(SerialLinkTest, AFailedCloseIsShownTracedAndTheHandleMarkedAllTheSame)
{
    PortHandle handle = openedPort();
    port.failCall(PortCall::Close, 5);
    // The platform's own notice: on POSIX the text goes to standard error
    // only, and the trace has just the link layer's text.
    ::testing::internal::CaptureStderr();
    ClosePort(&handle);
    std::string shown = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(shown, "Error: fake error 5\n");
    EXPECT_EQ(env.trace.texts(), (Texts{"Error CloseHandle\n"}));
    EXPECT_EQ(handle, invalidPortHandle());
    EXPECT_EQ(env.clock.sleeps().back(), 1000u);
}

namespace {

// A close-failure notice that checks, from another thread, whether the port
// lock is free while the user would be looking at the message, and what the
// trace held by then.
class LockProbeNotice : public CloseFailureNotice {
public:
    explicit LockProbeNotice(const RecordingTraceSink &trace) : trace_(trace) {}
    void closeFailed(const std::string &systemText) override
    {
        texts.push_back(systemText);
        traceWhenShown = trace_.texts();
        lockFree = std::async(std::launch::async, [] {
                       if (!PortLock::mutex().try_lock())
                           return false;
                       PortLock::mutex().unlock();
                       return true;
                   }).get();
    }
    std::vector<std::string> texts;
    Texts traceWhenShown;
    bool lockFree = false;

private:
    const RecordingTraceSink &trace_;
};

} // namespace

TEST_F(SerialLinkTest, TheCloseFailureIsShownWithThePortLockReleasedBeforeItsTrace)
{
    PortHandle handle = openedPort();
    port.failCall(PortCall::Close, 5);
    LockProbeNotice notice(env.trace);
    ScopedLinkServices installed(LinkServices{nullptr, nullptr, nullptr, &notice});
    ClosePort(&handle);
    EXPECT_EQ(notice.texts, (std::vector<std::string>{"fake error 5"}));
    // Another thread could close its port while the message is up.
    EXPECT_TRUE(notice.lockFree);
    EXPECT_TRUE(notice.traceWhenShown.empty());
    EXPECT_EQ(env.trace.texts(), (Texts{"Error CloseHandle\n"}));
    EXPECT_EQ(handle, invalidPortHandle());
    EXPECT_FALSE(port.isOpen());
}

namespace {

// A clock that checks, from another thread, whether the port lock is free
// while the close pause runs.
class LockProbeClock : public Clock {
public:
    void sleep(uint32_t milliseconds) override
    {
        if (milliseconds != 1000)
            return;
        lockFreeDuringPause = std::async(std::launch::async, [] {
                                  if (!PortLock::mutex().try_lock())
                                      return false;
                                  PortLock::mutex().unlock();
                                  return true;
                              }).get();
    }
    uint64_t nowMs() override { return 0; }
    bool lockFreeDuringPause = false;
};

} // namespace

TEST_F(SerialLinkTest, TheClosePauseRunsWithThePortLockReleased)
{
    PortHandle handle = openedPort();
    LockProbeClock probe;
    ScopedLinkServices installed(LinkServices{nullptr, &probe, nullptr});
    ClosePort(&handle);
    EXPECT_TRUE(probe.lockFreeDuringPause);
}

TEST_F(SerialLinkTest, CheckAckWithSilenceTimesOutAfterOneMsPlusTheWaitAndCloses)
{
    PortHandle handle = openedPort();
    EXPECT_EQ(CheckACK(&handle, 10000), 6);
    EXPECT_EQ(handle, invalidPortHandle());
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(env.trace.texts(), (Texts{"CheckACK Start\n", "CheckACK ClosePort 4\n"}));
    EXPECT_EQ(env.clock.nowMs(), 10001u + 1000u);
}

TEST_F(SerialLinkTest, CheckAckTracesAReadStillPending)
{
    PortHandle handle = openedPort();
    port.setEmptyReadError(997);
    EXPECT_EQ(CheckACK(&handle, 10000), 6);
    EXPECT_EQ(env.trace.texts(),
              (Texts{"CheckACK Start\n", "CheckACK I/O PENDING ?\n", "CheckACK ClosePort 4\n"}));
}

TEST_F(SerialLinkTest, CheckAckWithAFailingReadReturnsSix)
{
    PortHandle handle = openedPort();
    port.failCall(PortCall::Read, 0);
    EXPECT_EQ(CheckACK(&handle, 10000), 6);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(env.trace.texts(), (Texts{"CheckACK Start\n", "CheckACK nothing read on port \n",
                                        "CheckACK ClosePort 3\n"}));

    env.trace.clear();
    handle = openedPort();
    port.failCall(PortCall::Read, 5);
    EXPECT_EQ(CheckACK(&handle, 10000), 6);
    EXPECT_EQ(env.trace.texts(), (Texts{"CheckACK Start\n", "CheckACK ClosePort 3\n"}));
}

TEST_F(SerialLinkTest, CheckAckWithNakReturnsEightAndCloses)
{
    PortHandle handle = openedPort();
    port.send(0x15, 20);
    EXPECT_EQ(CheckACK(&handle, 10000), 8);
    EXPECT_EQ(handle, invalidPortHandle());
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(env.trace.texts(),
              (Texts{"CheckACK Start\n", "CheckACK ClosePort 5\n", "CheckACK NACK received\n"}));
    EXPECT_EQ(env.clock.nowMs(), 20u + 1000u);
}

TEST_F(SerialLinkTest, CheckAckWithAnyOtherByteReturnsEighteenAndCloses)
{
    PortHandle handle = openedPort();
    port.send(0x41);
    EXPECT_EQ(CheckACK(&handle, 10000), 18);
    EXPECT_EQ(handle, invalidPortHandle());
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(env.trace.texts(),
              (Texts{"CheckACK Start\n", "CheckACK ClosePort 5\n", "CheckACK Unknown received\n"}));
}

TEST_F(SerialLinkTest, CheckAckWithAckReturnsZeroAndLeavesThePortOpen)
{
    PortHandle handle = openedPort();
    port.send(0x06, 9999);
    EXPECT_EQ(CheckACK(&handle, 10000), 0);
    EXPECT_TRUE(isOpenPort(handle));
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(env.clock.nowMs(), 9999u);
    EXPECT_EQ(env.trace.texts(), (Texts{"CheckACK Start\n"}));
    ClosePort(&handle);
}

TEST_F(SerialLinkTest, CheckAckAcceptsAnAckUpToTheLastMillisecondOfItsWait)
{
    PortHandle handle = openedPort();
    port.send(0x06, 10001);
    EXPECT_EQ(CheckACK(&handle, 10000), 0);

    port.send(0x06, 10002);
    EXPECT_EQ(CheckACK(&handle, 10000), 6);
}

TEST_F(SerialLinkTest, TwoCheckAcksWithTheSameWaitWriteTheTimeoutsOnce)
{
    PortHandle handle = openedPort();
    port.send(Bytes{0x06, 0x06});
    EXPECT_EQ(CheckACK(&handle, 10000), 0);
    EXPECT_EQ(CheckACK(&handle, 10000), 0);
    EXPECT_EQ(port.count(Kind::Timeouts), 1);
    port.send(0x06);
    EXPECT_EQ(CheckACK(&handle, 5000), 0);
    EXPECT_EQ(port.count(Kind::Timeouts), 2);
    EXPECT_EQ(port.timeouts().readConstant, 5000u);
    ClosePort(&handle);
}

TEST_F(SerialLinkTest, TheWaitOfCheckAckStaysInForceForTheNextRead)
{
    PortHandle handle = openedPort();
    port.send(0x06);
    ASSERT_EQ(CheckACK(&handle, 5000), 0);
    unsigned char byte = 0;
    std::size_t received = 0;
    uint64_t start = env.clock.nowMs();
    EXPECT_TRUE(ReadPort(handle, &byte, 1, &received));
    EXPECT_EQ(received, 0u);
    EXPECT_EQ(env.clock.nowMs() - start, 5001u);
    ClosePort(&handle);
}

TEST_F(SerialLinkTest, CheckAckTimeoutFailuresReturnTwo)
{
    PortHandle handle = openedPort();
    port.failCall(PortCall::GetTimeouts);
    EXPECT_EQ(CheckACK(&handle, 10000), 2);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(env.trace.texts(), (Texts{"CheckACK Start\n", "CheckACK ClosePort 1\n"}));

    env.trace.clear();
    handle = openedPort();
    port.failCall(PortCall::SetTimeouts);
    EXPECT_EQ(CheckACK(&handle, 10000), 2);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(env.trace.texts(), (Texts{"CheckACK Start\n", "CheckACK ClosePort 2\n"}));
}

TEST_F(SerialLinkTest, CallsOnAClosedVariableFailWithoutTouchingAnything)
{
    PortHandle handle = openedPort();
    ClosePort(&handle);
    env.trace.clear();
    EXPECT_EQ(CheckACK(&handle, 10000), 2);
    EXPECT_EQ(env.trace.texts(),
              (Texts{"CheckACK Start\n", "CloseHandle NULL !!\n", "CheckACK ClosePort 1\n"}));
    env.trace.clear();
    EXPECT_EQ(Acknowledge(&handle), 7);
    EXPECT_EQ(env.trace.texts(), (Texts{"CloseHandle NULL !!\n", "Acknowledge ClosePort \n"}));
    EXPECT_FALSE(SetDTR(1, handle));
    EXPECT_FALSE(SetRTS(1, handle));
    SendDoubleBreak(handle);
    EXPECT_EQ(port.count(Kind::Break), 0);
    EXPECT_EQ(port.count(Kind::Write), 0);
}

TEST_F(SerialLinkTest, AcknowledgeSendsOneAck)
{
    PortHandle handle = openedPort();
    EXPECT_EQ(Acknowledge(&handle), 0);
    EXPECT_EQ(port.written(), (Bytes{0x06}));
    EXPECT_TRUE(port.isOpen());
    EXPECT_TRUE(env.trace.texts().empty());
    ClosePort(&handle);
}

TEST_F(SerialLinkTest, AcknowledgeFailuresCloseAndReturnSeven)
{
    PortHandle handle = openedPort();
    port.failCall(PortCall::Write);
    EXPECT_EQ(Acknowledge(&handle), 7);
    EXPECT_EQ(handle, invalidPortHandle());
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(env.trace.texts(), (Texts{"Acknowledge ClosePort \n"}));

    env.trace.clear();
    handle = openedPort();
    port.shortenNextWrite(0);
    EXPECT_EQ(Acknowledge(&handle), 7);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(env.trace.texts(), (Texts{"Acknowledge ClosePort \n"}));
}

namespace {

// Answers ACK when the second break of a double break ends.
class BreakListener : public ReaderScript {
public:
    void onBreak(FakePort &port, bool on) override
    {
        if (!on && ++breaks == 2)
            port.send(0x06, 3);
    }
    int breaks = 0;
};

} // namespace

TEST_F(SerialLinkTest, DoubleBreakIsFiveMsOnHundredOffFiveOn)
{
    BreakListener reader;
    port.setReader(&reader);
    PortHandle handle = openedPort();
    const std::size_t first = port.events().size();
    const uint64_t start = env.clock.nowMs();
    SendDoubleBreak(handle);
    std::vector<std::pair<bool, uint64_t>> breaks;
    for (std::size_t i = first; i < port.events().size(); ++i) {
        ASSERT_EQ(port.events()[i].kind, Kind::Break);
        breaks.emplace_back(port.events()[i].on, port.events()[i].atMs - start);
    }
    EXPECT_EQ(breaks, (std::vector<std::pair<bool, uint64_t>>{
                          {true, 0}, {false, 5}, {true, 105}, {false, 110}}));
    EXPECT_TRUE(env.trace.texts().empty());
    EXPECT_EQ(CheckACK(&handle, 10000), 0);
    EXPECT_EQ(env.clock.nowMs() - start, 113u);
    ClosePort(&handle);
}

TEST_F(SerialLinkTest, SetRtsAndSetDtrChangeOnlyTheirLine)
{
    PortHandle handle = openedPort();
    const LineControl opened = port.control();

    EXPECT_TRUE(SetRTS(0, handle));
    LineControl expected = opened;
    expected.rtsControl = 0;
    EXPECT_EQ(port.control(), expected);

    EXPECT_TRUE(SetDTR(0, handle));
    expected.dtrControl = 0;
    EXPECT_EQ(port.control(), expected);

    EXPECT_TRUE(SetRTS(5, handle)); // any non-zero level enables
    expected.rtsControl = 1;
    EXPECT_EQ(port.control(), expected);

    EXPECT_TRUE(SetDTR(-1, handle));
    expected.dtrControl = 1;
    EXPECT_EQ(port.control(), expected);

    // A refused write is reported, without closing.
    port.failCall(PortCall::SetControl);
    EXPECT_FALSE(SetDTR(0, handle));
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.control(), expected);
    EXPECT_TRUE(env.trace.texts().empty());
    ClosePort(&handle);
}

TEST_F(SerialLinkTest, TheReaderScriptSeesEveryCallOfTheHost)
{
    class Recorder : public ReaderScript {
    public:
        void onOpen(FakePort &) override { seen += "open "; }
        void onPurge(FakePort &, unsigned) override { seen += "purge "; }
        void onControl(FakePort &, const LineControl &) override { seen += "control "; }
        void onTimeouts(FakePort &, const PortTimeouts &) override { seen += "timeouts "; }
        void onWrite(FakePort &, const Bytes &bytes) override
        {
            seen += "write" + std::to_string(bytes.size()) + " ";
        }
        void onBreak(FakePort &, bool on) override { seen += on ? "break " : "unbreak "; }
        void onClose(FakePort &) override { seen += "close"; }
        std::string seen;
    } reader;
    port.setReader(&reader);
    PortHandle handle = nullptr;
    ASSERT_EQ(OpenPort(3, &handle, 57600), 0);
    SendDoubleBreak(handle);
    ASSERT_EQ(SetReadTimeout(handle, 100), 0);
    const unsigned char request[] = {'1', 0x11, 0x13};
    std::size_t written = 0;
    ASSERT_TRUE(WritePort(handle, request, sizeof request, &written));
    SetRTS(0, handle);
    ClosePort(&handle);
    EXPECT_EQ(reader.seen, "open purge control break unbreak break unbreak timeouts write3 "
                           "control close");
}
