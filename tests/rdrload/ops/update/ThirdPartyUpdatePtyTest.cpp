// ThirdPartyUpdate_ over a real pty against tools/reader-sim in real time:
// a 1 MiB package arrives byte for byte with every header right, a refusal
// and a NAK end with the port closed and the right result.

#include "ProgressLog.h"
#include "PtyReader.h"
#include "TextFile.h"
#include "api/rdrload.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

using namespace rdrload;
using namespace rdrload::testing;
using Lines = std::vector<std::string>;

namespace {

// A bound that only proves a wait ends; sanitizer builds are slow.
constexpr int kGenerousMs = 10000;
constexpr int kPort = 7;

std::vector<unsigned char> randomPackage(std::size_t length)
{
    std::mt19937 random(20261208);
    std::vector<unsigned char> package(length);
    for (unsigned char &byte : package)
        byte = static_cast<unsigned char>(random());
    return package;
}

// The journal lines that begin with `prefix`.
Lines linesStarting(const Lines &lines, const std::string &prefix)
{
    Lines found;
    for (const std::string &line : lines) {
        if (line.rfind(prefix, 0) == 0)
            found.push_back(line);
    }
    return found;
}

class ThirdPartyUpdatePtyTest : public ::testing::Test, protected PtyReader {
protected:
    // Starts reader-sim with `arguments` and makes its pty COM7 of the folder.
    void startReader(const std::vector<std::string> &arguments)
    {
        std::vector<std::string> all{"--update-output", output()};
        all.insert(all.end(), arguments.begin(), arguments.end());
        PtyReader::startReader(all);
    }

    int transfer(std::vector<unsigned char> &package)
    {
        ProgressLog::start();
        return ThirdPartyUpdate_(package.data(), package.size(), 0, kPort, 0,
                                 ProgressLog::callback);
    }

    // The port is free again: nothing holds it open.
    bool portIsFree()
    {
        std::unique_ptr<SerialChannel> line = serial->open(kPort);
        if (!line)
            return false;
        line->close();
        return true;
    }

    std::string output() const { return folder.file("package.bin"); }
};

} // namespace

TEST_F(ThirdPartyUpdatePtyTest, AMebibytePackageArrivesByteForByte)
{
    startReader({});
    std::vector<unsigned char> package = randomPackage(1 << 20);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(transfer(package), 0);
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
    std::printf("1 MiB update package: %.1f s\n", seconds.count());
    RecordProperty("seconds_1MiB", std::to_string(seconds.count()));

    ASSERT_TRUE(
        waitForLine(journal(), "update complete 1048576 bytes in 128 packets", kGenerousMs));
    EXPECT_EQ(readBytes(output()), package);
    const Lines lines = readLines(journal());
    EXPECT_TRUE(linesStarting(lines, "update fault").empty());
    Lines expectedHeaders;
    Lines expectedPackets;
    for (int sequence = 1; sequence <= 128; ++sequence) {
        expectedHeaders.push_back("update header " + std::to_string(sequence) + " 8192");
        expectedPackets.push_back("update packet " + std::to_string(sequence));
    }
    EXPECT_EQ(linesStarting(lines, "update header"), expectedHeaders);
    EXPECT_EQ(linesStarting(lines, "update packet"), expectedPackets);
    EXPECT_EQ(linesStarting(lines, "update information"),
              (Lines{"update information length 1048576"}));
    // 3 reports before the data, 128 data reports, the closure and the end.
    EXPECT_EQ(ProgressLog::reports().size(), 3u + 128 + 2);
    EXPECT_EQ(trace.texts().back(), "ThirdPartyUpdate ClosePort \n");
    ASSERT_TRUE(waitForLine(journal(), "close", kGenerousMs));
    EXPECT_TRUE(portIsFree());
}

TEST_F(ThirdPartyUpdatePtyTest, ARefusalEndsWithThePortClosedAndTheReason)
{
    startReader({"--update-decision", "3"});
    std::vector<unsigned char> package = randomPackage(5000);
    EXPECT_EQ(transfer(package), static_cast<int>(0xFF000003u));
    EXPECT_EQ(trace.texts().back(), "ThirdPartyUpdate denial\n");
    ASSERT_TRUE(waitForLine(journal(), "close", kGenerousMs));
    const Lines lines = readLines(journal());
    EXPECT_EQ(linesStarting(lines, "update"),
              (Lines{"update request", "update information length 5000", "update decision 3",
                     "update decision acknowledged", "update refused 3"}));
    EXPECT_TRUE(portIsFree());
    EXPECT_EQ(::access(output().c_str(), F_OK), -1); // nothing was received
}

TEST_F(ThirdPartyUpdatePtyTest, ANakAfterTheSecondHeaderEndsTheTransfer)
{
    startReader({"--update-header-answer", "2:nak"});
    std::vector<unsigned char> package = randomPackage(20000);
    EXPECT_EQ(transfer(package), 8);
    EXPECT_EQ(trace.texts().back(), "\nThirdPartyUpdate Send header ACK Error 2\n");
    ASSERT_TRUE(waitForLine(journal(), "close", kGenerousMs));
    EXPECT_EQ(linesStarting(readLines(journal()), "update header"),
              (Lines{"update header 1 8192", "update header 2 8192",
                     "update header 2 answered by misbehaviour"}));
    EXPECT_TRUE(portIsFree());
}
