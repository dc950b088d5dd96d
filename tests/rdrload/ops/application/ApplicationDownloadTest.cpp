// ApplicationDL_ and ApplicationDL_Lent_ on a fake port and a virtual clock:
// where the acknowledgements fall, the pacing of both variants, every
// failure of every step, and the report threshold.

#include "ProgressLog.h"
#include "ReaderOnCom3.h"
#include "api/rdrload.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

using namespace rdrload;
using namespace rdrload::testing;
using Kind = PortEvent::Kind;
using Points = std::vector<std::size_t>;

namespace {

using Export = int (*)(unsigned char *, unsigned long, unsigned char, int, void (*)(void *));

struct Variant {
    const char *name;
    Export run;
    std::size_t blockSize;
    uint32_t signatureMs;
};

const Variant kVariants[] = {
    {"ApplicationDL_", ApplicationDL_, 128, 180000},
    {"ApplicationDL_Lent_", ApplicationDL_Lent_, 64, 60000},
};

Bytes patternImage(std::size_t length)
{
    Bytes image(length);
    for (std::size_t i = 0; i < length; ++i)
        image[i] = static_cast<uint8_t>(i * 7 + (i >> 9));
    if (length > 136)
        image[136] = 0x20;
    return image;
}

class ApplicationDownloadTest : public ::testing::Test, protected ReaderOnCom3<> {
protected:
    int run(const Variant &variant, Bytes &image, int checkHeader = 0)
    {
        return variant.run(image.empty() ? nullptr : image.data(), image.size(), 3, checkHeader,
                           ProgressLog::callback);
    }
};

} // namespace

TEST_F(ApplicationDownloadTest, TheReaderAcknowledgesAtTheFixedPointsInBothVariants)
{
    struct Case {
        std::size_t length;
        Points acks; // image bytes sent when each block acknowledgement is awaited
    };
    const Case cases[] = {
        {0, {}},
        {255, {255, 255}},
        {256, {256, 256}},
        {257, {256, 257}},
        {512, {256, 512, 512}},
        {66048, {256, 512, 66048}},
        {200000, {256, 512, 66048, 131584, 197120, 200000}},
    };
    for (const Variant &variant : kVariants) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(variant.name) + " " + std::to_string(c.length) + " bytes");
            ReaderOnCom3<> row;
            row.reader.ackPoints = c.acks;
            Bytes image = patternImage(c.length);

            ASSERT_EQ(variant.run(image.data(), image.size(), 3, 0, ProgressLog::callback), 0);
            EXPECT_EQ(row.reader.image(), image);
            // Wake, request, the block points, the signature.
            Points expected{0, 0};
            expected.insert(expected.end(), c.acks.begin(), c.acks.end());
            expected.push_back(c.length);
            EXPECT_EQ(row.imageBytesBeforeEachRead(), expected);
            EXPECT_EQ(row.port.pendingInput(), 0u);

            const std::size_t blocks = (c.length + variant.blockSize - 1) / variant.blockSize;
            std::size_t writes = 0;
            // The request byte, then full blocks and a last one of the rest.
            for (const PortEvent &event : row.port.events()) {
                if (event.kind != Kind::Write || writes++ == 0)
                    continue;
                const std::size_t before = (writes - 2) * variant.blockSize;
                EXPECT_EQ(event.data.size(), std::min(variant.blockSize, c.length - before));
            }
            EXPECT_EQ(writes, blocks + 1);
            // The slow variant pauses 1 ms before block 1, 17, 33, ...
            std::size_t pauses = 0;
            for (uint32_t ms : row.env.clock.sleeps())
                pauses += ms == 1;
            EXPECT_EQ(pauses, variant.blockSize == 64 ? (blocks + 15) / 16 : 0u);

            // Every acknowledgement waits 10 s, the signature longer.
            std::vector<uint32_t> constants;
            for (const PortEvent &event : row.port.events()) {
                if (event.kind == Kind::Timeouts)
                    constants.push_back(event.timeouts.readConstant);
            }
            EXPECT_EQ(constants, (std::vector<uint32_t>{10000, variant.signatureMs}));

            const auto &reports = ProgressLog::reports();
            ASSERT_GE(reports.size(), 5u);
            EXPECT_EQ(reports[0].text, "Open Serial port");
            EXPECT_EQ(reports[0].done, 0u);
            EXPECT_EQ(reports[0].remaining, 0u);
            EXPECT_EQ(reports[1].text, "Waiting ACK before sending application");
            EXPECT_EQ(ProgressLog::count("Data transfer..."), static_cast<int>(blocks));
            std::size_t block = 0;
            for (const Report &report : reports) {
                if (report.text != "Data transfer...")
                    continue;
                const std::size_t done = std::min(++block * variant.blockSize, c.length);
                EXPECT_EQ(report.done, done);
                EXPECT_EQ(report.remaining, c.length - done);
            }
            const int kbAcks = c.length >= 66048 ? static_cast<int>((c.length - 512) / 65536) : 0;
            EXPECT_EQ(ProgressLog::count("Waiting for 64 Kb ACK"), kbAcks);
            EXPECT_EQ(ProgressLog::count("64 Kb -> OK"), kbAcks);
            const std::size_t n = reports.size();
            EXPECT_EQ(reports[n - 3].text, "Signature checking and application install");
            EXPECT_EQ(reports[n - 3].done, c.length);
            EXPECT_EQ(reports[n - 3].remaining, 0u);
            EXPECT_EQ(reports[n - 2].text, "Signature OK");
            EXPECT_EQ(reports[n - 1].text, "Application transfer successful");
            EXPECT_FALSE(row.port.isOpen());
            EXPECT_EQ(row.env.trace.count("ApplicationDL OpenPort \n"), 1);
            EXPECT_EQ(row.env.trace.count("ApplicationDL ClosePort \n"), 1);
        }
    }
}

TEST_F(ApplicationDownloadTest, ARaisedThresholdHoldsBackOnlyDataProgress)
{
    // 200000 bytes; the host asks for data reports from 150000 bytes on.
    reader.ackPoints = {256, 512, 66048, 131584, 197120, 200000};
    Bytes image = patternImage(200000);
    ProgressLog::start(150000);
    ASSERT_EQ(run(kVariants[0], image), 0);
    for (const Report &report : ProgressLog::reports()) {
        if (report.text == "Data transfer..." || report.text == "Waiting for 64 Kb ACK" ||
            report.text == "64 Kb -> OK") {
            EXPECT_GE(report.done, 150000u) << report.text;
        }
    }
    EXPECT_EQ(ProgressLog::count("Waiting for 64 Kb ACK"), 1); // at 197120 only
    EXPECT_EQ(ProgressLog::count("Data transfer..."), (200000 - 150000 + 127) / 128 + 1);
    EXPECT_EQ(ProgressLog::texts().front(), "Open Serial port");
    EXPECT_EQ(ProgressLog::count("Waiting ACK before sending application"), 1);
    EXPECT_EQ(ProgressLog::texts().back(), "Application transfer successful");
}

TEST_F(ApplicationDownloadTest, EveryStepFailsWithItsOwnResult)
{
    struct Case {
        const char *what;
        std::size_t length;
        Points acks;
        std::map<int, int> answers; // turn -> byte or silence
        long failWriteAt;
        long shortWriteAt;
        int expected;
        uint64_t waitedAtLeastMs; // virtual time the run took, at least
        const char *lastTrace;
    };
    const int kSilent = DownloadReader::kSilent;
    const Case cases[] = {
        {"wake NAK", 300, {256, 300}, {{0, 0x15}}, -1, -1, 1, 0, "CheckACK NACK received\n"},
        {"wake silent",
         300,
         {256, 300},
         {{0, kSilent}},
         -1,
         -1,
         1,
         10000,
         "CheckACK ClosePort 4\n"},
        {"request answered 'x'",
         300,
         {256, 300},
         {{1, 'x'}},
         -1,
         -1,
         1,
         0,
         "CheckACK Unknown received\n"},
        {"request silent",
         300,
         {256, 300},
         {{1, kSilent}},
         -1,
         -1,
         1,
         10000,
         "CheckACK ClosePort 4\n"},
        {"first block write fails", 300, {256, 300}, {}, 0, -1, 8, 0, "ApplicationDL ClosePort \n"},
        {"third block written short",
         300,
         {256, 300},
         {},
         256,
         -1,
         8,
         0,
         "ApplicationDL ClosePort \n"},
        {"256-byte ACK is NAK",
         300,
         {256, 300},
         {{2, 0x15}},
         -1,
         -1,
         8,
         0,
         "CheckACK NACK received\n"},
        {"512-byte ACK silent",
         600,
         {256, 512, 600},
         {{3, kSilent}},
         -1,
         -1,
         6,
         10000,
         "CheckACK ClosePort 4\n"},
        {"64 KB ACK is another byte",
         66100,
         {256, 512, 66048, 66100},
         {{4, 'A'}},
         -1,
         -1,
         18,
         0,
         "CheckACK Unknown received\n"},
        {"last-block ACK is NAK",
         300,
         {256, 300},
         {{3, 0x15}},
         -1,
         -1,
         8,
         0,
         "CheckACK NACK received\n"},
        {"signature NAK", 300, {256, 300}, {{4, 0x15}}, -1, -1, 5, 0, "CheckACK NACK received\n"},
    };
    for (const Variant &variant : kVariants) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(variant.name) + ": " + c.what);
            ReaderOnCom3<> row;
            row.reader.ackPoints = c.acks;
            row.reader.answers = c.answers;
            row.reader.failWriteAt = c.failWriteAt;
            row.reader.shortWriteAt = c.shortWriteAt;
            Bytes image = patternImage(c.length);
            EXPECT_EQ(variant.run(image.data(), image.size(), 3, 1, ProgressLog::callback),
                      c.expected);
            EXPECT_FALSE(row.port.isOpen());
            EXPECT_GE(row.env.clock.nowMs(), c.waitedAtLeastMs);
            ASSERT_FALSE(row.env.trace.texts().empty());
            EXPECT_EQ(row.env.trace.texts().back(), c.lastTrace);
            EXPECT_EQ(ProgressLog::count("Application transfer successful"), 0);
        }
    }
}

TEST_F(ApplicationDownloadTest, SilenceAfterTheImageIsASignatureFailureAfterTheLongWait)
{
    for (const Variant &variant : kVariants) {
        SCOPED_TRACE(variant.name);
        ReaderOnCom3<> row;
        row.reader.ackPoints = {100};
        row.reader.answers = {{3, DownloadReader::kSilent}};
        Bytes image = patternImage(100);
        EXPECT_EQ(variant.run(image.data(), image.size(), 3, 0, nullptr), 5);
        const PortEvent &lastRead = [&]() -> const PortEvent & {
            for (auto e = row.port.events().rbegin(); e != row.port.events().rend(); ++e) {
                if (e->kind == Kind::Read)
                    return *e;
            }
            return row.port.events().front();
        }();
        EXPECT_EQ(lastRead.kind, Kind::Read);
        EXPECT_EQ(row.env.clock.nowMs() - lastRead.atMs - 1000, variant.signatureMs + 1);
    }
}

TEST_F(ApplicationDownloadTest, ARequestByteThatCannotBeWrittenIsOtherError)
{
    reader.ackPoints = {256, 300};
    port.failCall(PortCall::Write);
    Bytes image = patternImage(300);
    EXPECT_EQ(run(kVariants[0], image), 18);
    EXPECT_EQ(env.trace.texts().back(), "ApplicationDL ClosePort \n");
    EXPECT_EQ(reader.requests(), 0);
}

TEST_F(ApplicationDownloadTest, BadImagesAreRefusedBeforeThePortIsOpened)
{
    struct Case {
        const char *what;
        bool null;
        std::size_t length;
        int checkHeader;
        int markAt136;
    };
    const Case cases[] = {
        {"header test on a null image", true, 0, 1, 0x20},
        {"header test on 136 bytes", false, 136, 1, -1},
        {"header test, wrong mark", false, 4000, 2, 0x21},
        {"null image with a length", true, 4000, 0, 0x20},
    };
    for (const Variant &variant : kVariants) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(variant.name) + ": " + c.what);
            ProgressLog::start();
            Bytes image = patternImage(c.length);
            if (c.markAt136 >= 0 && image.size() > 136)
                image[136] = static_cast<uint8_t>(c.markAt136);
            EXPECT_EQ(variant.run(c.null ? nullptr : image.data(), c.length, 3, c.checkHeader,
                                  ProgressLog::callback),
                      10);
            EXPECT_TRUE(ProgressLog::reports().empty());
            EXPECT_EQ(port.openAttempts(), 0);
        }
    }
}

TEST_F(ApplicationDownloadTest, WithoutTheHeaderTestANullEmptyImageStillTriesThePort)
{
    // COM9 has no device: 1000 attempts over ten seconds, then 1.
    ProgressLog::start();
    EXPECT_EQ(ApplicationDL_(nullptr, 0, 9, 0, ProgressLog::callback), 1);
    EXPECT_EQ(ProgressLog::texts(), (std::vector<std::string>{"Open Serial port"}));
    EXPECT_EQ(env.serial.absentOpenAttempts(), 1000);
    EXPECT_EQ(env.clock.nowMs(), 10000u);
}
