// KLAVSerialPort and SerialLine on the Windows serial driver, run under Wine:
// scripts/wine-tests maps two COM ports of the prefix to terminal-sim ptys,
// one answering (KLAV_WINE_TERMINAL_PORT, its received database written to
// KLAV_WINE_TERMINAL_OUT) and one silent (KLAV_WINE_SILENT_PORT).

#include "WineLog.h"

#include "Crc16Kermit.h"
#include "port/KLAVSerialPort.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// "\\.\COMn" for the port number in variable, empty when it is not set.
std::string portPath(const char *variable)
{
    const char *number = std::getenv(variable);
    return number && *number ? std::string("\\\\.\\COM") + number : std::string();
}

bool underWine()
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

struct Answer {
    bool ok = false;
    Bytes bytes;
};

Answer exchange(KLAVSerialPort &port, const Bytes &command, int32_t capacity,
                uint32_t interval = KLAVSerialPort::kReadIntervalTimeout,
                uint32_t total = KLAVSerialPort::kReadTotalTimeout)
{
    Bytes buffer(size_t(capacity), 0xEE);
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

// terminal-sim writes the database once the ending frame is in; the file
// appears whole (renamed into place).
Bytes waitForFile(const std::string &path, int timeoutMs)
{
    Clock::time_point start = Clock::now();
    while (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES &&
           msSince(start) < timeoutMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class WineSerialPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        terminal_ = portPath("KLAV_WINE_TERMINAL_PORT");
        silent_ = portPath("KLAV_WINE_SILENT_PORT");
        if (terminal_.empty() || silent_.empty())
            GTEST_SKIP() << "no simulated terminals (scripts/wine-tests starts them)";
        wine_log::clear();
    }

    std::string terminal_;
    std::string silent_;
};

} // namespace

// The settings the port writes come back from the driver as written.
TEST_F(WineSerialPortTest, LineSettingsRoundTripThroughTheDriver)
{
    SerialLine line;
    ASSERT_TRUE(line.open(terminal_)) << SerialLine::errorText(line.lastError());
    EXPECT_TRUE(line.setupQueues(40960, 40960));
    SerialLineSettings settings;
    ASSERT_TRUE(line.getSettings(settings));
    settings.baudRate = 57600;
    settings.byteSize = 8;
    settings.parity = 0;
    settings.stopBits = 0;
    settings.outxCtsFlow = settings.outxDsrFlow = settings.dsrSensitivity = false;
    settings.outX = settings.inX = false;
    settings.dtrControl = settings.rtsControl = 1;
    settings.abortOnError = true;
    ASSERT_TRUE(line.setSettings(settings)) << SerialLine::errorText(line.lastError());
    SerialLineSettings back;
    ASSERT_TRUE(line.getSettings(back));
    EXPECT_EQ(back.baudRate, 57600u);
    EXPECT_EQ(back.byteSize, 8);
    EXPECT_EQ(back.parity, 0);
    EXPECT_EQ(back.stopBits, 0);
    EXPECT_FALSE(back.outxCtsFlow || back.outxDsrFlow || back.outX || back.inX);
    EXPECT_EQ(back.dtrControl, 1);
    EXPECT_EQ(back.rtsControl, 1);
    EXPECT_TRUE(line.purge());
    EXPECT_TRUE(line.close());
    EXPECT_FALSE(line.isOpen());
}

// A whole load's frames: the answers, the 500 ms inter-byte bound that ends
// a read whose room is larger than the answer, and the database the
// terminal kept, byte for byte.
TEST_F(WineSerialPortTest, WholeLoadIntoTerminalSimulator)
{
    KLAVSerialPort port(terminal_);
    ASSERT_TRUE(port.isOpen());
    EXPECT_GE(wine_log::find("KLAVSerialPort::ConfigureCOMSession - res=0"), 0);

    Bytes database(40000);
    for (size_t i = 0; i < database.size(); ++i)
        database[i] = uint8_t((i * 31) ^ (i >> 7));

    Clock::time_point start = Clock::now();
    Answer init = exchange(port, withCrc({0x2F, 0xC0, 0x04, 0x00, 0x78, 0x01, 0x2C}), 255);
    long long initMs = msSince(start);
    EXPECT_TRUE(init.ok);
    EXPECT_EQ(init.bytes, (Bytes{0xF2, 0xE0, 0x04, 0x00, 0x78, 0x01, 0x2C, 0x45, 0xBB}));
    EXPECT_GE(initMs, 450);  // the read waited out the gap after the last byte...
    EXPECT_LT(initMs, 2500); // ...not the 3000 ms total

    Bytes request = withCrc({0x2F, 0x40, 0x0D, 0x05, 0x01, 0x01, 0x60, 0x04, 0x80, 0x02, 0x9C, 0x40,
                             0x81, 0x02, 0x41, 0x42});
    EXPECT_EQ(exchange(port, request, 7).bytes, (Bytes{0xF2, 0x40, 0x02, 0x00, 0x00, 0x21, 0x2A}));
    for (size_t at = 0; at < database.size(); at += 30717) {
        size_t n = std::min<size_t>(30717, database.size() - at);
        Bytes frame{0x01, uint8_t(n >> 8), uint8_t(n)};
        frame.insert(frame.end(), database.begin() + long(at), database.begin() + long(at + n));
        Answer ack = exchange(port, frame, 1);
        ASSERT_TRUE(ack.ok);
        ASSERT_EQ(ack.bytes, Bytes{0x05});
    }
    EXPECT_EQ(exchange(port, {0x02, 0x00, 0x00}, 3, 762, 762).bytes, (Bytes{0x05, 0x00, 0x00}));
    EXPECT_TRUE(port.closePort());
    EXPECT_GE(wine_log::find("Result of handle closing : 1"), 0);

    const char *out = std::getenv("KLAV_WINE_TERMINAL_OUT");
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(waitForFile(out, 10000), database);
}

// Nothing comes back: true with no bytes after the 3000 ms total bound; an
// empty command goes out as one carriage return first.
TEST_F(WineSerialPortTest, SilentTerminalGivesTrueWithNoBytesAfterTheTotalTimeout)
{
    KLAVSerialPort port(silent_);
    ASSERT_TRUE(port.isOpen());
    Clock::time_point start = Clock::now();
    Answer answer = exchange(port, {}, 9);
    long long ms = msSince(start);
    EXPECT_TRUE(answer.ok);
    EXPECT_TRUE(answer.bytes.empty());
    EXPECT_GE(ms, 2900);
    EXPECT_LT(ms, 6000);
    EXPECT_GE(wine_log::find("KLAVSerialPort::ExecuteCommand : got 0 bytes"), 0);
}

// A port name that names no device: a Closed port whose exchange fails at
// the time-outs with the system's error number and text.
TEST_F(WineSerialPortTest, MissingPortFailsEveryExchange)
{
    KLAVSerialPort port("\\\\.\\COM99");
    EXPECT_FALSE(port.isOpen());
    EXPECT_GE(wine_log::find("Handler is not valid"), 0);
    EXPECT_GE(wine_log::find("KLAVSerialPort::ConfigureCOMSession - Handler not valid"), 0);
    Answer answer = exchange(port, {0x0D}, 9);
    EXPECT_FALSE(answer.ok);
    EXPECT_TRUE(answer.bytes.empty());
    std::string prefix = "KLAVSerialPort::ExecuteCommand : Open Session -  Failed to set timeouts. "
                         "Error : " +
                         std::to_string(ERROR_INVALID_HANDLE) + " - ";
    bool found = false;
    for (const std::string &line : wine_log::messages())
        found = found || line.compare(0, prefix.size(), prefix) == 0;
    EXPECT_TRUE(found) << prefix;
    EXPECT_TRUE(port.closePort());
}

// The port opens without sharing, so Windows refuses a second opener. Wine
// does not enforce this for COM ports; the test says so instead of passing.
TEST_F(WineSerialPortTest, SecondOpenOfAHeldPortFails)
{
    KLAVSerialPort first(terminal_);
    ASSERT_TRUE(first.isOpen());
    KLAVSerialPort second(terminal_);
    if (second.isOpen() && underWine())
        GTEST_SKIP() << "Wine does not enforce exclusive opens of COM ports";
    EXPECT_FALSE(second.isOpen());
}

namespace {

// The request frame for a database of size bytes and no entries.
Bytes requestFor(uint32_t size)
{
    Bytes sizeBytes;
    for (uint32_t v = size; v != 0; v >>= 8)
        sizeBytes.insert(sizeBytes.begin(), uint8_t(v));
    Bytes frame{0x2F, 0x40, uint8_t(7 + sizeBytes.size()), 0x05, 0x01, 0x01, 0x60,
                0x00, 0x80, uint8_t(sizeBytes.size())};
    frame.insert(frame.end(), sizeBytes.begin(), sizeBytes.end());
    return withCrc(frame);
}

// The data exchange's quicker end: an answer that begins with 05 is complete
// after 20 ms of quiet.
KLAVAnswerEnd acceptance()
{
    KLAVAnswerEnd end;
    end.leadByte = 0x05;
    end.quietGap = 20;
    return end;
}

Answer exchangeEnded(KLAVSerialPort &port, const Bytes &command, int32_t capacity,
                     const KLAVAnswerEnd &end)
{
    Bytes buffer(size_t(capacity), 0xEE);
    int32_t length = capacity;
    Answer answer;
    answer.ok = port.ExecuteCommand(command.data(), int32_t(command.size()), buffer.data(), &length,
                                    KLAVSerialPort::kReadIntervalTimeout,
                                    KLAVSerialPort::kReadTotalTimeout, end);
    buffer.resize(size_t(length));
    answer.bytes = buffer;
    return answer;
}

// A load of database through port as the loader makes it: every data reply
// read with room for 255 bytes and the quicker end. Returns each block's
// answer and the longest data exchange.
std::vector<Bytes> loadWithAcceptance(KLAVSerialPort &port, const Bytes &database,
                                      long long &longestDataMs, long long &dataMs)
{
    std::vector<Bytes> answers;
    longestDataMs = 0;
    EXPECT_EQ(exchange(port, withCrc({0x2F, 0xC0, 0x04, 0x00, 0x78, 0x01, 0x2C}), 9).bytes.size(),
              9u);
    EXPECT_EQ(exchange(port, requestFor(uint32_t(database.size())), 7).bytes,
              (Bytes{0xF2, 0x40, 0x02, 0x00, 0x00, 0x21, 0x2A}));
    const Clock::time_point dataStart = Clock::now();
    for (size_t at = 0; at < database.size(); at += 30717) {
        size_t n = std::min<size_t>(30717, database.size() - at);
        Bytes frame{0x01, uint8_t(n >> 8), uint8_t(n)};
        frame.insert(frame.end(), database.begin() + long(at), database.begin() + long(at + n));
        Clock::time_point start = Clock::now();
        Answer ack = exchangeEnded(port, frame, 255, acceptance());
        longestDataMs = std::max(longestDataMs, msSince(start));
        EXPECT_TRUE(ack.ok);
        answers.push_back(ack.bytes);
    }
    dataMs = msSince(dataStart);
    EXPECT_EQ(exchange(port, {0x02, 0x00, 0x00}, 3, 3000, 3000).bytes, (Bytes{0x05, 0x00, 0x00}));
    return answers;
}

Bytes patterned(size_t size)
{
    Bytes bytes(size);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t((i * 131) ^ (i >> 9));
    return bytes;
}

// scripts/wine-tests maps two more terminal-sim ptys for these:
// KLAV_WINE_ACCEPT_PORT answers every block with 05 alone, and
// KLAV_WINE_TAIL_PORT with 05 00 00 whose two zeros come 10 ms after the 05;
// each writes the database it received to KLAV_WINE_ACCEPT_OUT or
// KLAV_WINE_TAIL_OUT.
class WineAnswerEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        accept_ = portPath("KLAV_WINE_ACCEPT_PORT");
        tail_ = portPath("KLAV_WINE_TAIL_PORT");
        if (accept_.empty() || tail_.empty())
            GTEST_SKIP() << "no answering terminals (scripts/wine-tests starts them)";
        wine_log::clear();
    }

    std::string accept_;
    std::string tail_;
};

} // namespace

// An answer that begins with 05 ends 20 ms after its last byte, not 500 ms:
// a 4 MiB load's data exchanges each end well inside the inter-byte
// time-out. An answer that begins with another byte (the initialisation
// reply here) keeps the 500 ms bound.
TEST_F(WineAnswerEndTest, AnAcceptanceEndsAfterTheQuietGapOthersKeepTheInterval)
{
    KLAVSerialPort port(accept_);
    ASSERT_TRUE(port.isOpen());
    Clock::time_point start = Clock::now();
    Answer init =
        exchangeEnded(port, withCrc({0x2F, 0xC0, 0x04, 0x00, 0x78, 0x01, 0x2C}), 255, acceptance());
    long long initMs = msSince(start);
    EXPECT_EQ(init.bytes, (Bytes{0xF2, 0xE0, 0x04, 0x00, 0x78, 0x01, 0x2C, 0x45, 0xBB}));
    EXPECT_GE(initMs, 450);
    EXPECT_LT(initMs, 2500);

    const Bytes database = patterned(4u << 20);
    long long longest = 0, dataMs = 0;
    const std::vector<Bytes> answers = loadWithAcceptance(port, database, longest, dataMs);
    for (const Bytes &answer : answers)
        EXPECT_EQ(answer, Bytes{0x05});
    EXPECT_LT(longest, 300);
    std::printf("wine: %zu data exchanges of a 4 MiB load in %lld ms (longest %lld ms)\n",
                answers.size(), dataMs, longest);
    EXPECT_TRUE(port.closePort());
    const char *out = std::getenv("KLAV_WINE_ACCEPT_OUT");
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(waitForFile(out, 10000), database);
}

// A tail 10 ms after the 05 is read with its own answer, so every later
// block is answered and kept intact.
TEST_F(WineAnswerEndTest, ATailTenMillisecondsLaterStaysWithItsAnswer)
{
    KLAVSerialPort port(tail_);
    ASSERT_TRUE(port.isOpen());
    const Bytes database = patterned(3 * 30717 - 500);
    long long longest = 0, dataMs = 0;
    const std::vector<Bytes> answers = loadWithAcceptance(port, database, longest, dataMs);
    ASSERT_EQ(answers.size(), 3u);
    for (const Bytes &answer : answers)
        EXPECT_EQ(answer, (Bytes{0x05, 0x00, 0x00}));
    EXPECT_TRUE(port.closePort());
    const char *out = std::getenv("KLAV_WINE_TAIL_OUT");
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(waitForFile(out, 10000), database);
}
