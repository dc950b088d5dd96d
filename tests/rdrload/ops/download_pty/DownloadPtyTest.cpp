// Whole downloads over a pty against tools/reader-sim's download listener:
// a 1 MiB application, a slow-variant application, and a firmware image of
// each header layout arrive byte for byte; a reader's refusals end the
// download with the right result. The exports run in this process on the
// POSIX serial service, with COM7 a link in a folder of the test's.

#include "ProgressLog.h"
#include "PtyReader.h"
#include "TextFile.h"
#include "api/rdrload.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using namespace rdrload;
using namespace rdrload::testing;
using Bytes = std::vector<unsigned char>;

namespace {

Bytes pattern(std::size_t length, unsigned seed)
{
    Bytes bytes(length);
    uint32_t state = seed;
    for (auto &byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<unsigned char>(state >> 16);
    }
    return bytes;
}

Bytes firmwareImage(std::size_t length, uint16_t layout)
{
    Bytes image = pattern(length, layout);
    image[64] = static_cast<unsigned char>(layout & 0xff);
    image[65] = static_cast<unsigned char>(layout >> 8);
    image[136] = 0x20;
    return image;
}

std::vector<std::string> answers(const std::string &journal)
{
    std::vector<std::string> lines;
    for (const std::string &line : readLines(journal))
        if (line.rfind("answer ", 0) == 0)
            lines.push_back(line);
    return lines;
}

class DownloadPtyTest : public ::testing::Test, protected PtyReader {
protected:
    void SetUp() override { ProgressLog::start(); }

    // reader-sim as COM7, writing what it receives to received.bin.
    void startReader(std::vector<std::string> options = {})
    {
        options.insert(options.end(), {"--output", received()});
        PtyReader::startReader(options);
    }

    std::string received() const { return folder.file("received.bin"); }
};

} // namespace

TEST_F(DownloadPtyTest, AOneMebibyteApplicationArrivesByteForByte)
{
    startReader();
    Bytes image = pattern(1 << 20, 1);
    image[136] = 0x20;
    ASSERT_EQ(ApplicationDL_(image.data(), image.size(), 7, 1, ProgressLog::callback), 0);
    EXPECT_EQ(readBytes(received()), image);
    // The request, 256, 512, fifteen 64 KB points, the last block, the
    // signature: each answered once, in that order.
    const std::vector<std::string> got = answers(journal());
    ASSERT_EQ(got.size(), 20u);
    EXPECT_EQ(got[1], "answer 2 ack 256 06");
    EXPECT_EQ(got[3], "answer 4 ack 66048 06");
    EXPECT_EQ(got[17], "answer 18 ack 983552 06");
    EXPECT_EQ(got[18], "answer 19 last 1048576 06");
    EXPECT_EQ(got[19], "answer 20 signature 06");
    EXPECT_EQ(ProgressLog::reports().back().text, "Application transfer successful");
}

TEST_F(DownloadPtyTest, TheSlowVariantArrivesByteForByte)
{
    startReader({"--app-block", "64"});
    Bytes image = pattern(70000, 2);
    ASSERT_EQ(ApplicationDL_Lent_(image.data(), image.size(), 7, 0, ProgressLog::callback), 0);
    EXPECT_EQ(readBytes(received()), image);
    EXPECT_EQ(answers(journal()).size(), 6u); // request, 256, 512, 66048, last, signature
}

TEST_F(DownloadPtyTest, FirmwareOfEachLayoutArrivesByteForByte)
{
    struct Case {
        uint16_t layout;
        std::size_t length;
        std::vector<std::string> lastAnswers;
    };
    const Case cases[] = {
        {0x0200,
         2304 + 200000,
         {"answer 3 header 2 06", "answer 4 body 65536 06", "answer 5 body 131072 06",
          "answer 6 body 196608 06", "answer 7 last 200000 06", "answer 8 signature 06"}},
        {0x0100,
         773 + 65536,
         {"answer 3 header 2 06", "answer 4 header 3 06", "answer 5 body 65536 06",
          "answer 6 signature 06"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.layout);
        ::unlink(folder.file("COM7").c_str());
        ::unlink(journal().c_str());
        startReader();
        Bytes image = firmwareImage(c.length, c.layout);
        ASSERT_EQ(FirmwareDL_(image.data(), image.size(), 7, 1, ProgressLog::callback), 0);
        EXPECT_EQ(readBytes(received()), image);
        std::vector<std::string> got = answers(journal());
        ASSERT_GE(got.size(), c.lastAnswers.size());
        EXPECT_EQ(std::vector<std::string>(got.end() - c.lastAnswers.size(), got.end()),
                  c.lastAnswers);
        EXPECT_EQ(ProgressLog::reports().back().text, "Firmware transfer successful");
        reader->stop();
    }
}

TEST_F(DownloadPtyTest, AReaderThatRefusesEndsTheDownload)
{
    struct Case {
        std::vector<std::string> options;
        bool firmware;
        int expected;
        const char *lastReport;
    };
    const Case cases[] = {
        {{"--after-request", "0x78"}, true, 8, "Sending FW download request\n"},
        {{"--signature", "nak"}, true, 8, "Signature NAK Error"},
        {{"--answer", "3=0x41"}, false, 18, "Data transfer..."},
        {{"--signature", "nak"}, false, 5, "Signature checking and application install"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.options[0] + " " + c.options[1]);
        ::unlink(folder.file("COM7").c_str());
        startReader(c.options);
        ProgressLog::start();
        Bytes image = firmwareImage(3000, 0x0100);
        const int result =
            c.firmware ? FirmwareDL_(image.data(), image.size(), 7, 0, ProgressLog::callback)
                       : ApplicationDL_(image.data(), image.size(), 7, 0, ProgressLog::callback);
        EXPECT_EQ(result, c.expected);
        ASSERT_FALSE(ProgressLog::reports().empty());
        EXPECT_EQ(ProgressLog::reports().back().text, c.lastReport);
        reader->stop();
    }
}
