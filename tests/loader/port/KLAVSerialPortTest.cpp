// KLAVSerialPort over real pseudo-terminals: a scripted peer on the master
// side (in a thread of the test) or terminal-sim as a separate process.

#include "LogCapture.h"
#include "PtyPeer.h"
#include "SimProcess.h"
#include "TempFolder.h"
#include "TextFile.h"

#include "Crc16Kermit.h"
#include "port/KLAVSerialPort.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

struct Answer {
    bool ok = false;
    Bytes bytes;
};

// One exchange with the port's own time-outs unless others are given.
Answer exchange(KLAVSerialPort &port, const Bytes &command, int32_t capacity,
                uint32_t interval = KLAVSerialPort::kReadIntervalTimeout,
                uint32_t total = KLAVSerialPort::kReadTotalTimeout)
{
    Bytes buffer(size_t(capacity > 0 ? capacity : 1), 0xEE);
    int32_t length = capacity;
    Answer answer;
    answer.ok = port.ExecuteCommand(command.data(), int32_t(command.size()), buffer.data(), &length,
                                    interval, total);
    buffer.resize(size_t(length));
    answer.bytes = buffer;
    return answer;
}

Bytes withCrc(Bytes frame)
{
    appendCrc16Kermit(frame);
    return frame;
}

} // namespace

TEST(KLAVSerialPortTest, OpensConfiguresAndLogsEachStep)
{
    LogCapture log;
    PtyPeer peer;
    {
        KLAVSerialPort port(peer.slavePath());
        EXPECT_TRUE(port.isOpen());
        EXPECT_EQ(port.getReadTotalTimeout(), 3000u);
        EXPECT_EQ(port.getReadIntervalTimeout(), 500u);

        // The line is raw at 57600 baud, 8N1, without flow control.
        termios tio{};
        ASSERT_EQ(tcgetattr(peer.slaveFd(), &tio), 0);
        EXPECT_EQ(cfgetospeed(&tio), speed_t(B57600));
        EXPECT_EQ(cfgetispeed(&tio), speed_t(B57600));
        EXPECT_EQ(tio.c_cflag & CSIZE, tcflag_t(CS8));
        EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
        EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
        EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    }
    std::vector<std::string> expected = {
        "KLAVSerialPort::KLAVSerialPort",      "Handler is valid",
        "KLAVSerialPort::ConfigureCOMSession", "KLAVSerialPort::ConfigureCOMSession - res=0",
        "KLAVSerialPort::KLAVSerialPort",      "KLAVSerialPort::~KLAVSerialPort",
        "KLAVSerialPort::~KLAVSerialPort",
    };
    std::vector<std::string> messages = log.messages();
    ASSERT_GE(messages.size(), expected.size());
    messages.erase(messages.begin(), messages.end() - long(expected.size()));
    EXPECT_EQ(messages, expected);
}

TEST(KLAVSerialPortTest, ExchangeWritesCommandAndReadsAnswerWithLogLines)
{
    LogCapture log;
    PtyPeer peer;
    KLAVSerialPort port(peer.slavePath());
    // Bytes a cooked line or flow control would eat or change.
    Bytes command = {0x11, 0x13, 0x00, 0xFF, 0x0D, 0x0A, 0x03, 0x7F, 0x1A};
    Bytes reply = {0x13, 0x11, 0x0D, 0x00, 0x04, 0x0A, 0x1C, 0xFF, 0x15};
    auto script = std::async(std::launch::async, [&] {
        Bytes got = peer.receive(command.size(), 5000);
        peer.send(reply);
        return got;
    });
    Answer answer = exchange(port, command, 9);
    EXPECT_EQ(script.get(), command);
    EXPECT_TRUE(answer.ok);
    EXPECT_EQ(answer.bytes, reply); // capacity reached: no wait for the interval
    int at = log.find("KLAVSerialPort::ExecuteCommand");
    ASSERT_GE(at, 0);
    EXPECT_EQ(log.find("KLAVSerialPort::ExecuteCommand : Writing : 9 bytes", at), at + 1);
    EXPECT_EQ(log.find("KLAVSerialPort::ExecuteCommand : Read starts", at), at + 2);
    EXPECT_EQ(log.find("KLAVSerialPort::ExecuteCommand : got 9 bytes", at), at + 3);
    EXPECT_EQ(log.find("KLAVSerialPort::ExecuteCommand", at + 1), at + 4);
}

TEST(KLAVSerialPortTest, EmptyOrNegativeCommandSendsOneCarriageReturn)
{
    LogCapture log;
    PtyPeer peer;
    KLAVSerialPort port(peer.slavePath());
    for (int32_t length : {0, -5}) {
        auto script = std::async(std::launch::async, [&] {
            Bytes got = peer.receive(1, 5000);
            peer.send({0x05});
            return got;
        });
        Bytes buffer(1);
        int32_t size = 1;
        const uint8_t unused = 0x41;
        EXPECT_TRUE(port.ExecuteCommand(&unused, length, buffer.data(), &size, 500, 3000));
        EXPECT_EQ(script.get(), Bytes{0x0D});
        EXPECT_EQ(size, 1);
        EXPECT_EQ(buffer[0], 0x05);
    }
    EXPECT_TRUE(peer.receive(1, 100).empty()); // exactly one byte each time
    EXPECT_EQ(log.count("KLAVSerialPort::ExecuteCommand : Writing : 0 bytes"), 0);
}

TEST(KLAVSerialPortTest, AnswerIsCutAtTheFirstGapLongerThanTheInterval)
{
    PtyPeer peer;
    KLAVSerialPort port(peer.slavePath());
    auto script = std::async(std::launch::async, [&] {
        peer.receive(3, 5000);
        peer.send({0x41, 0x42, 0x43});
        std::this_thread::sleep_for(std::chrono::milliseconds(900));
        peer.send({0x44, 0x45});
    });
    Clock::time_point start = Clock::now();
    Answer first = exchange(port, {1, 2, 3}, 9, 300, 3000);
    long long elapsed = msSince(start);
    script.get();
    EXPECT_TRUE(first.ok);
    EXPECT_EQ(first.bytes, (Bytes{0x41, 0x42, 0x43}));
    EXPECT_GE(elapsed, 300); // the interval counts only after the first byte
    EXPECT_LT(elapsed, 2500);

    // The rest was not lost: the next exchange reads it.
    Answer second = exchange(port, {4}, 9, 300, 3000);
    EXPECT_TRUE(second.ok);
    EXPECT_EQ(second.bytes, (Bytes{0x44, 0x45}));
}

TEST(KLAVSerialPortTest, SilentTerminalGivesTrueWithNoBytesAfterTheTotalTimeout)
{
    LogCapture log;
    PtyPeer peer;
    KLAVSerialPort port(peer.slavePath());
    Clock::time_point start = Clock::now();
    Answer answer = exchange(port, {0x2F}, 9); // the port's own 500 / 3000 ms
    long long elapsed = msSince(start);
    EXPECT_TRUE(answer.ok);
    EXPECT_TRUE(answer.bytes.empty());
    EXPECT_GE(elapsed, 3000);
    EXPECT_LT(elapsed, 10000);
    EXPECT_TRUE(log.has("KLAVSerialPort::ExecuteCommand : got 0 bytes"));
}

TEST(KLAVSerialPortTest, AnswerLongerThanCapacityLeavesTheRestForTheNextExchange)
{
    PtyPeer peer;
    KLAVSerialPort port(peer.slavePath());
    auto script = std::async(std::launch::async, [&] {
        peer.receive(1, 5000);
        peer.send({0xF2, 0x40, 0x02, 0x00, 0x00, 0x21, 0x2A});
    });
    Answer first = exchange(port, {0x10}, 3);
    script.get();
    EXPECT_TRUE(first.ok);
    EXPECT_EQ(first.bytes, (Bytes{0xF2, 0x40, 0x02}));
    Answer second = exchange(port, {0x11}, 255, 200, 3000);
    EXPECT_TRUE(second.ok);
    EXPECT_EQ(second.bytes, (Bytes{0x00, 0x00, 0x21, 0x2A}));
}

TEST(KLAVSerialPortTest, LargestDataFrameArrivesWhole)
{
    LogCapture log;
    PtyPeer peer;
    KLAVSerialPort port(peer.slavePath());
    Bytes frame(30720);
    frame[0] = 0x01;
    frame[1] = 0x77;
    frame[2] = 0xFD;
    for (size_t i = 3; i < frame.size(); ++i)
        frame[i] = uint8_t(i * 7 + (i >> 8));
    auto script = std::async(std::launch::async, [&] {
        Bytes got = peer.receive(frame.size(), 10000);
        peer.send({0x05});
        return got;
    });
    Answer answer = exchange(port, frame, 255, 200, 3000);
    EXPECT_EQ(script.get(), frame);
    EXPECT_TRUE(answer.ok);
    EXPECT_EQ(answer.bytes, Bytes{0x05});
    EXPECT_EQ(log.count("KLAVSerialPort::ExecuteCommand : Writing : 30720 bytes"), 1);
}

TEST(KLAVSerialPortTest, MissingDeviceLeavesAClosedPortThatFailsEveryExchange)
{
    LogCapture log;
    KLAVSerialPort port("/dev/klav-no-such-terminal");
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(log.has("Handler is not valid"));
    EXPECT_TRUE(log.has("KLAVSerialPort::ConfigureCOMSession - Handler not valid"));
    EXPECT_TRUE(log.has("KLAVSerialPort::ConfigureCOMSession - res=1"));

    Bytes buffer(9);
    int32_t length = 9;
    const uint8_t command[] = {0x2F};
    EXPECT_FALSE(port.ExecuteCommand(command, 1, buffer.data(), &length, 500, 3000));
    EXPECT_EQ(length, 0);
    EXPECT_TRUE(log.has("KLAVSerialPort::ExecuteCommand : Open Session -  Failed to set timeouts. "
                        "Error : 9 - Bad file descriptor"));
    EXPECT_TRUE(port.closePort());
}

TEST(KLAVSerialPortTest, BadResponseBufferOrCapacityFailsAndLeavesTheLengthAlone)
{
    LogCapture log;
    PtyPeer peer;
    KLAVSerialPort port(peer.slavePath());
    const uint8_t command[] = {0x2F};
    Bytes buffer(4);
    int32_t length = 0;
    EXPECT_FALSE(port.ExecuteCommand(command, 1, buffer.data(), &length, 500, 3000));
    EXPECT_EQ(length, 0);
    length = -3;
    EXPECT_FALSE(port.ExecuteCommand(command, 1, buffer.data(), &length, 500, 3000));
    EXPECT_EQ(length, -3);
    length = 4;
    EXPECT_FALSE(port.ExecuteCommand(command, 1, nullptr, &length, 500, 3000));
    EXPECT_EQ(length, 4);
    EXPECT_TRUE(peer.receive(1, 200).empty()); // nothing was sent
    EXPECT_EQ(log.count("KLAVSerialPort::ExecuteCommand : Read starts"), 0);
}

TEST(KLAVSerialPortTest, ClosePortTwiceAndDestroyAfterwards)
{
    LogCapture log;
    PtyPeer peer;
    {
        KLAVSerialPort port(peer.slavePath());
        EXPECT_TRUE(port.closePort());
        EXPECT_FALSE(port.isOpen());
        EXPECT_TRUE(port.closePort());
    }
    EXPECT_EQ(log.count("Result of handle closing : 1"), 2);
    EXPECT_EQ(log.count("KLAVSerialPort::closePort"), 4);
    // Closed, the line is free again.
    KLAVSerialPort again(peer.slavePath());
    EXPECT_TRUE(again.isOpen());
}

TEST(KLAVSerialPortTest, TerminalGoneMidExchangeFailsTheReadThenTheWrite)
{
    LogCapture log;
    PtyPeer peer;
    KLAVSerialPort port(peer.slavePath());
    auto script = std::async(std::launch::async, [&] {
        peer.receive(4, 5000);
        peer.send({0x05, 0x00});
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        peer.hangUp();
    });
    Clock::time_point start = Clock::now();
    Answer answer = exchange(port, {1, 0, 1, 0x42}, 255, 2000, 5000);
    script.get();
    EXPECT_FALSE(answer.ok);
    EXPECT_TRUE(answer.bytes.empty());
    EXPECT_LT(msSince(start), 1900); // ended by the hang-up, not by a time-out
    EXPECT_TRUE(log.has("KLAVSerialPort::ExecuteCommand : Read, err 5\n"));

    Answer after = exchange(port, {2, 0, 0}, 3);
    EXPECT_FALSE(after.ok);
    EXPECT_TRUE(after.bytes.empty());
    EXPECT_TRUE(log.has("KLAVSerialPort::ExecuteCommand : Write err 5\n"));
    EXPECT_TRUE(port.closePort());
}

TEST(KLAVSerialPortTest, SecondOpenOfAHeldTerminalFailsLikeAMissingDevice)
{
    LogCapture log;
    PtyPeer peer;
    auto first = std::make_unique<KLAVSerialPort>(peer.slavePath());
    ASSERT_TRUE(first->isOpen());
    KLAVSerialPort second(peer.slavePath());
    EXPECT_FALSE(second.isOpen());
    EXPECT_TRUE(log.has("Handler is not valid"));
    Answer answer = exchange(second, {0x2F}, 9);
    EXPECT_FALSE(answer.ok);
    first.reset();
    KLAVSerialPort third(peer.slavePath());
    EXPECT_TRUE(third.isOpen());
}

TEST(KLAVSerialPortTest, WriteThatMakesNoProgressForTheWriteTimeoutFails)
{
    LogCapture log;
    PtyPeer peer;
    KLAVSerialPort port(peer.slavePath());
    // The peer reads nothing: fill the line towards it first, through the
    // peer's own descriptor of the port's end.
    int flags = fcntl(peer.slaveFd(), F_GETFL);
    ASSERT_EQ(fcntl(peer.slaveFd(), F_SETFL, flags | O_NONBLOCK), 0);
    Bytes block(4096, 0x55);
    while (write(peer.slaveFd(), block.data(), block.size()) > 0) {
    }

    Bytes frame(30720, 0x01);
    Clock::time_point start = Clock::now();
    Answer answer = exchange(port, frame, 255);
    long long elapsed = msSince(start);
    EXPECT_FALSE(answer.ok);
    EXPECT_TRUE(answer.bytes.empty());
    EXPECT_GE(elapsed, 3000);
    EXPECT_LT(elapsed, 15000);
    EXPECT_TRUE(log.has("KLAVSerialPort::ExecuteCommand : Write err 110\n"));
    EXPECT_EQ(log.count("KLAVSerialPort::ExecuteCommand : Read starts"), 0);
}

TEST(KLAVSerialPortTest, ConfigurationFailureKeepsThePortOpen)
{
    LogCapture log;
    std::string path = std::filesystem::temp_directory_path() / "klav-not-a-tty";
    std::ofstream(path) << "x";
    {
        KLAVSerialPort port(path);
        EXPECT_TRUE(port.isOpen());
        EXPECT_TRUE(log.has("Handler is valid"));
        EXPECT_TRUE(log.has("KLAVSerialPort::ConfigureCOMSession - GetCommState err"));
        EXPECT_TRUE(log.has("KLAVSerialPort::ConfigureCOMSession - res=1"));
        EXPECT_EQ(port.ConfigureCOMSession(), 1);
    }
    std::filesystem::remove(path);
}

// A whole load through the port into terminal-sim, the way the loading
// protocol drives it, and the file the terminal received.
TEST(KLAVSerialPortTest, LoadIntoTerminalSimulator)
{
    rdrload::testing::TempFolder temp("klav-port-sim-");
    const std::string &folder = temp.path();
    std::string out = folder + "/received.db";
    SimProcess sim(SimProcess::terminalSim(),
                   {"--out", out, "--log", folder + "/frames.log", "--loads", "1"});
    KLAVSerialPort port(sim.slavePath());
    ASSERT_TRUE(port.isOpen());

    Bytes database(40000);
    for (size_t i = 0; i < database.size(); ++i)
        database[i] = uint8_t((i * 31) ^ (i >> 7));

    Answer init = exchange(port, withCrc({0x2F, 0xC0, 0x04, 0x00, 0x78, 0x01, 0x2C}), 9);
    EXPECT_EQ(init.bytes, (Bytes{0xF2, 0xE0, 0x04, 0x00, 0x78, 0x01, 0x2C, 0x45, 0xBB}));
    Bytes request = withCrc({0x2F, 0x40, 0x0D, 0x05, 0x01, 0x01, 0x60, 0x04, 0x80, 0x02, 0x9C, 0x40,
                             0x81, 0x02, 0x41, 0x42});
    Answer confirmed = exchange(port, request, 7);
    EXPECT_EQ(confirmed.bytes, (Bytes{0xF2, 0x40, 0x02, 0x00, 0x00, 0x21, 0x2A}));
    for (size_t at = 0; at < database.size(); at += 30717) {
        size_t n = std::min<size_t>(30717, database.size() - at);
        Bytes frame{0x01, uint8_t(n >> 8), uint8_t(n)};
        frame.insert(frame.end(), database.begin() + long(at), database.begin() + long(at + n));
        Answer ack = exchange(port, frame, 255);
        ASSERT_TRUE(ack.ok);
        ASSERT_EQ(ack.bytes, Bytes{0x05});
    }
    Answer ending = exchange(port, {0x02, 0x00, 0x00}, 3, 762, 762);
    EXPECT_EQ(ending.bytes, (Bytes{0x05, 0x00, 0x00}));
    EXPECT_TRUE(port.closePort());
    EXPECT_EQ(sim.wait(10000), 0); // --loads 1: it ends by itself

    EXPECT_EQ(rdrload::testing::readBytes(out), database);
}
