// The link layer over a real pty, against tools/reader-sim: the POSIX serial
// service, the COM number rule on a folder of our own, read timing in real
// time, raw 8-bit data both ways, exclusive opening, and a vanishing reader.

#include "FakeLinkEnvironment.h"
#include "PtyReader.h"
#include "TextFile.h"
#include "link/SerialLink.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using namespace rdrload;
using namespace rdrload::testing;
using Texts = std::vector<std::string>;

namespace {

// A bound that only proves a wait ends; sanitizer builds are slow.
constexpr long kGenerousMs = 3000;

long msSince(std::chrono::steady_clock::time_point start)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count());
}

class SerialLinkPtyTest : public ::testing::Test, protected PtyReader {
protected:
    // Opens COM7 and waits for the reader's answer to the double break.
    PortHandle openAndWake()
    {
        PortHandle handle = nullptr;
        EXPECT_EQ(OpenPort(7, &handle, 57600), 0);
        SendDoubleBreak(handle);
        EXPECT_EQ(CheckACK(&handle, 10000), 0);
        return handle;
    }
};

} // namespace

TEST_F(SerialLinkPtyTest, OpensWakesAcknowledgesAndClosesAReader)
{
    startReader();
    auto start = std::chrono::steady_clock::now();
    PortHandle handle = openAndWake();
    EXPECT_LT(msSince(start), kGenerousMs); // the ACK ended the 10 s wait
    EXPECT_EQ(Acknowledge(&handle), 0);
    start = std::chrono::steady_clock::now();
    ClosePort(&handle);
    EXPECT_GE(msSince(start), 1000);
    EXPECT_EQ(handle, invalidPortHandle());
    EXPECT_EQ(trace.texts(), (Texts{" - OpenPort 7 Start", " - R", "CheckACK Start\n"}));
    ASSERT_TRUE(waitForLine(journal(), "close", kGenerousMs));
    EXPECT_EQ(readLines(journal()), (Texts{"open", "send 06", "recv 06", "close"}));
}

TEST_F(SerialLinkPtyTest, CarriesEveryByteValueUnchangedBothWays)
{
    startReader();
    PortHandle handle = openAndWake();
    std::vector<unsigned char> data;
    for (int value = 0; value < 256; ++value)
        data.push_back(static_cast<unsigned char>(value));
    // XON, XOFF, CR, LF, ^C and ^D again in a row: no flow control, no line
    // discipline may touch them.
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

TEST_F(SerialLinkPtyTest, AReadWaitsTheByteCountPlusTheConstant)
{
    startReader();
    PortHandle handle = openAndWake();
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
        EXPECT_GE(elapsed, expected);
        EXPECT_LT(elapsed, expected + kGenerousMs);
        std::printf("read of %zu bytes, constant %u ms: %ld ms (expected %ld)\n", c.bytes,
                    c.constant, elapsed, expected);
        RecordProperty("read_" + std::to_string(c.bytes) + "_" + std::to_string(c.constant),
                       std::to_string(elapsed));
    }
    ClosePort(&handle);
}

TEST_F(SerialLinkPtyTest, ASilentReaderTimesOutAndThePortIsClosed)
{
    startReader({"--wake", "none"});
    PortHandle handle = nullptr;
    ASSERT_EQ(OpenPort(7, &handle, 57600), 0);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(CheckACK(&handle, 400), 6);
    const long elapsed = msSince(start);
    EXPECT_GE(elapsed, 401 + 1000); // the wait, then the pause after the close
    EXPECT_LT(elapsed, 1401 + kGenerousMs);
    EXPECT_EQ(handle, invalidPortHandle());
    EXPECT_EQ(trace.texts(),
              (Texts{" - OpenPort 7 Start", " - R", "CheckACK Start\n", "CheckACK ClosePort 4\n"}));
    EXPECT_TRUE(waitForLine(journal(), "close", kGenerousMs));
}

TEST_F(SerialLinkPtyTest, NakAndOtherAnswersEndTheWait)
{
    startReader({"--wake", "nak"});
    PortHandle handle = nullptr;
    ASSERT_EQ(OpenPort(7, &handle, 57600), 0);
    EXPECT_EQ(CheckACK(&handle, 10000), 8);
    EXPECT_EQ(handle, invalidPortHandle());
    reader->stop();
    ::unlink(folder.file("COM7").c_str());

    ::unlink(journal().c_str());
    startReader({"--wake", "0x41"});
    handle = nullptr;
    ASSERT_EQ(OpenPort(7, &handle, 57600), 0);
    EXPECT_EQ(CheckACK(&handle, 10000), 18);
    EXPECT_EQ(handle, invalidPortHandle());
}

TEST_F(SerialLinkPtyTest, AnOpenPortIsHeldExclusively)
{
    startReader();
    PortHandle handle = openAndWake();
    EXPECT_EQ(serial->open(7), nullptr);

    // The full 1000 attempts, on real opens but a virtual clock.
    VirtualClock virtualClock;
    {
        ScopedLinkServices virtualTime(LinkServices{nullptr, &virtualClock, nullptr});
        PortHandle second = nullptr;
        EXPECT_EQ(OpenPort(7, &second, 57600), 1);
        EXPECT_EQ(second, invalidPortHandle());
    }
    EXPECT_EQ(virtualClock.nowMs(), 10000u);

    ClosePort(&handle);
    std::unique_ptr<SerialChannel> again = serial->open(7);
    EXPECT_NE(again, nullptr);
    if (again)
        again->close();
}

TEST_F(SerialLinkPtyTest, PortsWithoutAComEntryAreTheStandardSerialPorts)
{
    startReader();
    // COM3 has no entry of its own: it is ttyS2 of the folder.
    ASSERT_EQ(::symlink(reader->slavePath().c_str(), folder.file("ttyS2").c_str()), 0);
    PortHandle handle = nullptr;
    EXPECT_EQ(OpenPort(3, &handle, 57600), 0);
    ClosePort(&handle);

    // A COM entry wins over the standard port of the same number.
    ASSERT_EQ(::symlink("/dev/null", folder.file("ttyS6").c_str()), 0);
    handle = nullptr;
    EXPECT_EQ(OpenPort(7, &handle, 57600), 0);
    ClosePort(&handle);

    // Not a serial line: the settings cannot be read.
    ASSERT_EQ(::symlink("/dev/null", folder.file("COM9").c_str()), 0);
    trace.clear();
    handle = nullptr;
    EXPECT_EQ(OpenPort(9, &handle, 57600), 1);
    EXPECT_EQ(trace.texts(),
              (Texts{" - OpenPort 9 Start", " - R", " - ConfigureSerialPort ClosePort 1\n"}));
}

TEST_F(SerialLinkPtyTest, TheLineIsRawEightBitsWithoutFlowControl)
{
    startReader();
    PortHandle handle = openAndWake();
    ASSERT_EQ(ChangeBaudRate(handle, 115200), 0);
    LineControl control;
    ASSERT_TRUE(handle->getControl(control));
    EXPECT_EQ(control.baudRate, 115200u);
    EXPECT_EQ(control.byteSize, 8);
    EXPECT_EQ(control.parity, kNoParity);
    EXPECT_EQ(control.stopBits, kOneStopBit);
    EXPECT_FALSE(control.outX);
    EXPECT_FALSE(control.inX);
    EXPECT_FALSE(control.outxCtsFlow);
    // A pty has no modem lines; the settings are still accepted and kept.
    EXPECT_TRUE(SetRTS(0, handle));
    EXPECT_TRUE(SetDTR(1, handle));
    ASSERT_TRUE(handle->getControl(control));
    EXPECT_EQ(control.rtsControl, kRtsDisable);
    EXPECT_EQ(control.dtrControl, kDtrEnable);
    ClosePort(&handle);
}

TEST_F(SerialLinkPtyTest, AReaderThatVanishesEndsTheWaitWithATimeoutResult)
{
    startReader();
    PortHandle handle = openAndWake();
    reader->stop();
    trace.clear();
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(CheckACK(&handle, 10000), 6);
    EXPECT_LT(msSince(start), 1000 + kGenerousMs); // did not wait the 10 s
    EXPECT_EQ(handle, invalidPortHandle());
    EXPECT_EQ(trace.texts(), (Texts{"CheckACK Start\n", "CheckACK ClosePort 3\n"}));
}
