// terminal-sim as a process: its help, loads over its pty, the files it
// writes, hang-up and a clean stop on SIGTERM.

#include "CommandRun.h"
#include "Crc16Kermit.h"
#include "SimProcess.h"
#include "TempFolder.h"
#include "TextFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
using rdrload::testing::readBytes;
using rdrload::testing::readText;

// The host's end of the pty, opened raw and read with a deadline.
class HostLine {
public:
    explicit HostLine(const std::string &path)
    {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    }
    ~HostLine()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    bool isOpen() const { return fd_ >= 0; }

    // Sends the frame and reads up to expected bytes within timeoutMs;
    // lastError() tells whether the line failed.
    Bytes exchange(const Bytes &frame, size_t expected, int timeoutMs = 3000)
    {
        size_t done = 0;
        while (done < frame.size()) {
            ssize_t n = write(fd_, frame.data() + done, frame.size() - done);
            if (n > 0) {
                done += size_t(n);
            } else {
                pollfd pfd{fd_, POLLOUT, 0};
                poll(&pfd, 1, 100);
            }
        }
        return receive(expected, timeoutMs);
    }

    Bytes receive(size_t expected, int timeoutMs)
    {
        Bytes reply;
        error_ = 0;
        auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (reply.size() < expected && Clock::now() < deadline) {
            pollfd pfd{fd_, POLLIN, 0};
            if (poll(&pfd, 1, 20) <= 0)
                continue;
            uint8_t buffer[512];
            ssize_t n = read(fd_, buffer, sizeof buffer);
            if (n > 0) {
                reply.insert(reply.end(), buffer, buffer + n);
            } else if (n < 0 && errno != EAGAIN) {
                error_ = errno;
                break;
            } else if (n == 0) {
                error_ = EIO;
                break;
            }
        }
        return reply;
    }
    int lastError() const { return error_; }

private:
    int fd_ = -1;
    int error_ = 0;
};

Bytes withCrc(Bytes frame)
{
    appendCrc16Kermit(frame);
    return frame;
}

Bytes initFrame(int pad)
{
    return withCrc({uint8_t(pad * 16 + 15), 0xC0, 0x04, 0x00, 0x78, 0x01, 0x2C});
}

Bytes requestFrame(int pad, uint32_t size)
{
    Bytes frame{uint8_t(pad * 16 + 15), 0x40, 0, 0x05, 0x01, 0x01, 0x60, 0x00, 0x80, 0};
    for (uint32_t v = size; v != 0; v >>= 8) {
        frame.insert(frame.begin() + 10, uint8_t(v));
        ++frame[9];
    }
    frame[2] = uint8_t(frame.size() - 3);
    return withCrc(frame);
}

Bytes pattern(size_t size, int seed)
{
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = uint8_t(i * 13 + seed + (i >> 9));
    return bytes;
}

const Bytes kEnding{0x02, 0x00, 0x00};

// Sends one database through the host line; true when every reply was the
// expected one.
bool load(HostLine &host, const Bytes &database, int pad = 2)
{
    if (host.exchange(initFrame(pad), 9).size() != 9)
        return false;
    if (host.exchange(requestFrame(pad, uint32_t(database.size())), 7).size() != 7)
        return false;
    for (size_t at = 0; at < database.size(); at += 30717) {
        size_t n = std::min<size_t>(30717, database.size() - at);
        Bytes frame{0x01, uint8_t(n >> 8), uint8_t(n)};
        frame.insert(frame.end(), database.begin() + long(at), database.begin() + long(at + n));
        if (host.exchange(frame, 1) != Bytes{0x05})
            return false;
    }
    return host.exchange(kEnding, 3) == Bytes({0x05, 0x00, 0x00});
}

class TerminalSimTest : public ::testing::Test {
protected:
    rdrload::testing::TempFolder temp_{"klav-termsim-"};
    const std::string folder_ = temp_.path();
};

// Runs terminal-sim with args and returns its exit status and output.
int runToEnd(const std::string &args, std::string &output)
{
    const rdrload::testing::CommandRun run =
        rdrload::testing::runCommand(SimProcess::terminalSim() + " " + args + " 2>&1");
    output += run.output;
    return run.status;
}

} // namespace

TEST_F(TerminalSimTest, HelpDescribesEveryOption)
{
    std::string help;
    EXPECT_EQ(runToEnd("--help", help), 0);
    for (const char *option :
         {"--out PATH", "--log PATH", "--loads N", "--pad N", "--quiet-ms MS", "--silent",
          "--wrong-byte REPLY:I[:V]", "--short-reply REPLY:N", "--nack K:TEXT",
          "--incomplete-nack K", "--refuse K", "--no-ending-reply", "--delay MS", "--hangup K",
          "--on-load N", "--help", "SIGTERM", "%n"})
        EXPECT_NE(help.find(option), std::string::npos) << option;

    std::string error;
    EXPECT_EQ(runToEnd("--explode", error), 2);
    EXPECT_NE(error.find("unknown option --explode"), std::string::npos);
    error.clear();
    EXPECT_EQ(runToEnd("--nack=3", error), 2);
    EXPECT_NE(error.find("nack wants BLOCK:TEXT"), std::string::npos);
    error.clear();
    EXPECT_EQ(runToEnd("--silent=1", error), 2);
    error.clear();
    EXPECT_EQ(runToEnd("--pad 16", error), 2);
}

TEST_F(TerminalSimTest, ServesLoadsAndWritesEachReceivedDatabase)
{
    std::string log = folder_ + "/frames.log";
    SimProcess sim(SimProcess::terminalSim(),
                   {"--out", folder_ + "/load-%n.db", "--log", log, "--loads=2"});
    Bytes first = pattern(70000, 1), second = pattern(5, 2);
    {
        HostLine host(sim.slavePath());
        ASSERT_TRUE(host.isOpen());
        EXPECT_TRUE(load(host, first));
    }
    {
        HostLine host(sim.slavePath());
        EXPECT_TRUE(load(host, second, 7));
    }
    EXPECT_EQ(sim.wait(10000), 0);
    EXPECT_EQ(readBytes(folder_ + "/load-1.db"), first);
    EXPECT_EQ(readBytes(folder_ + "/load-2.db"), second);
    EXPECT_FALSE(fs::exists(folder_ + "/load-1.db.part"));

    std::string frames = readText(log);
    EXPECT_NE(frames.find("H>T init 9: 2F C0 04 00 78 01 2C B8 E4"), std::string::npos);
    EXPECT_NE(frames.find("T>H init-reply 9: F7 E0"), std::string::npos);
    EXPECT_NE(frames.find("-- load 2 received whole: 5 bytes"), std::string::npos);
    EXPECT_NE(frames.find("-- port opened by the host"), std::string::npos);
    EXPECT_NE(frames.find("-- port closed by the host"), std::string::npos);
}

TEST_F(TerminalSimTest, TheLastReplyStaysUntilTheHostHasClosed)
{
    std::string log = folder_ + "/frames.log";
    SimProcess sim(SimProcess::terminalSim(), {"--log", log, "--loads=1"});
    {
        HostLine host(sim.slavePath());
        const Bytes database = pattern(100, 3);
        ASSERT_EQ(host.exchange(initFrame(2), 9).size(), 9u);
        ASSERT_EQ(host.exchange(requestFrame(2, uint32_t(database.size())), 7).size(), 7u);
        Bytes frame{0x01, 0x00, uint8_t(database.size())};
        frame.insert(frame.end(), database.begin(), database.end());
        ASSERT_EQ(host.exchange(frame, 1), Bytes{0x05});
        host.exchange(kEnding, 0); // sent, not read yet
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (readText(log).find("load 1 received whole") == std::string::npos &&
               Clock::now() < deadline)
            poll(nullptr, 0, 10);
        // A slow host: its read comes well after the simulator's last load.
        poll(nullptr, 0, 300);
        EXPECT_EQ(host.receive(3, 3000), Bytes({0x05, 0x00, 0x00}));
    }
    EXPECT_EQ(sim.wait(10000), 0);
}

TEST_F(TerminalSimTest, MisbehavesOverTheLine)
{
    SimProcess sim(SimProcess::terminalSim(),
                   {"--wrong-byte", "init:0:0xF3", "--nack", "1:Err", "--delay", "300"});
    HostLine host(sim.slavePath());
    Clock::time_point start = Clock::now();
    Bytes init = host.exchange(initFrame(2), 9);
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(),
              300);
    ASSERT_EQ(init.size(), 9u);
    EXPECT_EQ(init[0], 0xF3);
    host.exchange(requestFrame(2, 3), 7);
    EXPECT_EQ(host.exchange({0x01, 0x00, 0x03, 1, 2, 3}, 6),
              (Bytes{0x06, 0x00, 0x03, 'E', 'r', 'r'}));
    EXPECT_EQ(sim.stop(), 0);
}

TEST_F(TerminalSimTest, HangUpDropsTheLineAndEnds)
{
    SimProcess sim(SimProcess::terminalSim(), {"--out", folder_ + "/out.db", "--hangup", "2"});
    HostLine host(sim.slavePath());
    Bytes database = pattern(40000, 3);
    ASSERT_EQ(host.exchange(initFrame(2), 9).size(), 9u);
    ASSERT_EQ(host.exchange(requestFrame(2, 40000), 7).size(), 7u);
    Bytes first{0x01, 0x77, 0xFD};
    first.insert(first.end(), database.begin(), database.begin() + 30717);
    EXPECT_EQ(host.exchange(first, 1), Bytes{0x05});
    Bytes second{0x01, 0x24, 0x43};
    second.insert(second.end(), database.begin() + 30717, database.end());
    Clock::time_point start = Clock::now();
    EXPECT_TRUE(host.exchange(second, 1, 5000).empty());
    EXPECT_EQ(host.lastError(), EIO);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(),
              4000);
    EXPECT_EQ(sim.wait(10000), 0);
    EXPECT_FALSE(fs::exists(folder_ + "/out.db"));
}

TEST_F(TerminalSimTest, StopsCleanlyOnSigtermMidLoad)
{
    std::string log = folder_ + "/frames.log";
    SimProcess sim(SimProcess::terminalSim(), {"--out", folder_ + "/out.db", "--log", log});
    HostLine host(sim.slavePath());
    ASSERT_EQ(host.exchange(initFrame(2), 9).size(), 9u);
    ASSERT_EQ(host.exchange(requestFrame(2, 100), 7).size(), 7u);
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_FALSE(fs::exists(folder_ + "/out.db"));
    EXPECT_FALSE(fs::exists(folder_ + "/out.db.part"));
    std::string frames = readText(log);
    EXPECT_NE(frames.find("-- stopped by a signal"), std::string::npos);
}

TEST_F(TerminalSimTest, UnusableOutputFilesAreReported)
{
    std::string output;
    EXPECT_EQ(runToEnd("--log " + folder_ + "/missing/frames.log", output), 1);
    EXPECT_NE(output.find("cannot write the log"), std::string::npos);

    // A database that cannot be written is reported and the service goes on.
    SimProcess sim(SimProcess::terminalSim(),
                   {"--out", folder_ + "/missing/out.db", "--log", folder_ + "/frames.log"});
    HostLine host(sim.slavePath());
    EXPECT_TRUE(load(host, pattern(10, 4)));
    EXPECT_TRUE(load(host, pattern(10, 5)));
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_NE(readText(folder_ + "/frames.log").find("cannot write " + folder_ + "/missing/out.db"),
              std::string::npos);
}
