// FirmLoaderDL_ end to end over a pty against reader-sim's boot loader: what
// the boot loader ends up with (the 32 KB image area, the configuration and
// boot regions, the register writes) equals what was sent, byte for byte.
// A pty carries no DTR, RTS or baud rate; those are the fake port's tests.

#include "FakeLinkEnvironment.h"
#include "ProgressLog.h"
#include "PtyReader.h"
#include "TempFolder.h"
#include "TextFile.h"
#include "api/rdrload.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using namespace rdrload;
using namespace rdrload::testing;
using Texts = std::vector<std::string>;

namespace {

constexpr int kLoadAddress = 0x00200000;
constexpr int kImageAddress = 0x00400000;
constexpr std::size_t kIdentifierOffset = 0x7FE0;
// A bound that only proves a wait ends; sanitizer builds are slow.
constexpr int kGenerousMs = 10000;

Bytes someBytes(std::size_t count, uint32_t seed)
{
    Bytes bytes(count);
    for (uint8_t &byte : bytes) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(seed >> 16);
    }
    return bytes;
}

long msSince(std::chrono::steady_clock::time_point start)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count());
}

class FirmLoaderPtyTest : public ::testing::Test, protected PtyReader {
protected:
    void SetUp() override { ProgressLog::start(); }

    // reader-sim's boot loader as COM7 of the folder.
    void startBootLoader(const std::vector<std::string> &extra = {})
    {
        std::vector<std::string> arguments{"--boot-loader", "0x00400000", "--boot-output",
                                           output.path()};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        startReader(arguments);
    }

    int load(Bytes &config, Bytes &boot, Bytes &image, Bytes &productId)
    {
        return FirmLoaderDL_(config.data(), static_cast<int>(config.size()), boot.data(),
                             static_cast<int>(boot.size()), image.data(),
                             static_cast<int>(image.size()), 7, productId.data(),
                             ProgressLog::callback, kImageAddress, kLoadAddress);
    }

    TempFolder output;
};

} // namespace

TEST_F(FirmLoaderPtyTest, TheBootLoaderReceivesExactlyWhatWasSent)
{
    struct Case {
        const char *name;
        std::size_t config;
        std::size_t boot;
        std::size_t image;
    };
    const Case cases[] = {
        {"empty files", 0, 0, 0},
        {"image of exactly 0x7FE0 bytes", 100, 200, kIdentifierOffset},
        {"files of a few KB", 2048, 3001, 5003},
    };
    startBootLoader();
    const Texts registers = {"00220008 000C0000", "0022000C 01050202", "00221004 00031191",
                             "0C100000 0000100C", "00221004 000311A1", "0C000000 0000000C",
                             "0C000004 0000000C", "00221004 000311B1", "0C088C00 008C080C",
                             "00221004 67921181"};
    uint32_t seed = 1;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ProgressLog::start();
        for (const char *name : {"image.bin", "config.bin", "boot.bin", "registers.txt"})
            std::remove(output.file(name).c_str());
        Bytes config = someBytes(c.config, ++seed);
        Bytes boot = someBytes(c.boot, ++seed);
        Bytes image = someBytes(c.image, ++seed);
        Bytes productId = someBytes(32, ++seed);

        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(load(config, boot, image, productId), 0);
        const long elapsed = msSince(start);
        std::printf("%s: %ld ms\n", c.name, elapsed);
        RecordProperty(std::string("ms_") + std::to_string(c.image), std::to_string(elapsed));

        Bytes area = image;
        area.resize(kIdentifierOffset, 0xFF);
        area.insert(area.end(), productId.begin(), productId.end());
        EXPECT_EQ(readBytes(output.file("image.bin")), area);
        EXPECT_EQ(readBytes(output.file("config.bin")), config);
        EXPECT_EQ(readBytes(output.file("boot.bin")), boot);
        EXPECT_EQ(readLines(output.file("registers.txt")), registers);

        ASSERT_FALSE(ProgressLog::reports().empty());
        const Report &last = ProgressLog::reports().back();
        EXPECT_EQ(last.text, "Success");
        EXPECT_EQ(last.done, c.config + c.boot + c.image + 8);
        EXPECT_EQ(last.remaining, 0u);
        EXPECT_EQ(trace.count("FirmLoaderDL End\n"), 1);
        trace.clear();
    }
    EXPECT_TRUE(waitForLine(journal(), "flash 00200000 ack", kGenerousMs));
    EXPECT_TRUE(waitForLine(journal(), "launch 00200000", kGenerousMs));
}

TEST_F(FirmLoaderPtyTest, AnotherAnswerThanTheColonEndsTheRunAtOnce)
{
    startBootLoader({"--sync-answer", "0x3F"});
    Bytes none;
    Bytes productId(32, 0x11);
    EXPECT_EQ(load(none, none, none, productId), TIMEOUT_ERROR);
    EXPECT_EQ(trace.texts().back(), "FirmLoaderDL ClosePort \n");
    EXPECT_TRUE(waitForLine(journal(), "sync answered 3f", kGenerousMs));
    EXPECT_TRUE(waitForLine(journal(), "close", kGenerousMs));
    EXPECT_FALSE(std::ifstream(output.file("image.bin")).good());
}
