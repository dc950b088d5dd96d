// reader-sim's download listener: where it acknowledges an application of
// either block size and a firmware image of either layout, and its
// misbehaviour on demand.

#include "DownloadListener.h"
#include "TempFolder.h"
#include "TextFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace readersim;

namespace {

struct ListenerRun {
    std::vector<std::string> journal;
    Bytes sent;
};

// Feeds a request and an image byte by byte, then the end of the data.
ListenerRun feed(DownloadBehaviour behaviour, uint8_t request, const Bytes &image)
{
    ListenerRun run;
    DownloadListener listener(behaviour, [&run](const std::string &line) {
        if (line.rfind("answer ", 0) == 0)
            run.journal.push_back(line.substr(7));
    });
    auto keep = [&run](const Bytes &bytes) {
        run.sent.insert(run.sent.end(), bytes.begin(), bytes.end());
    };
    keep(listener.start(request));
    for (uint8_t byte : image)
        keep(listener.received(byte));
    if (listener.awaitingEndOfData())
        keep(listener.dataEnded());
    EXPECT_FALSE(listener.active());
    return run;
}

Bytes firmware(std::size_t length, uint8_t layoutHigh)
{
    Bytes image(length, 0x5a);
    image[64] = 0;
    image[65] = layoutHigh;
    return image;
}

} // namespace

TEST(DownloadListener, AcknowledgesAnApplicationWhereTheHostWaits)
{
    struct Case {
        std::size_t length;
        uint32_t block;
        std::vector<std::string> answers;
    };
    const Case cases[] = {
        {0, 128, {"1 request 06", "2 signature 06"}},
        {200, 128, {"1 request 06", "2 ack 200 06", "3 last 200 06", "4 signature 06"}},
        {150, 64, {"1 request 06", "2 last 150 06", "3 signature 06"}},
        {256, 64, {"1 request 06", "2 ack 256 06", "3 last 256 06", "4 signature 06"}},
        {257, 128, {"1 request 06", "2 ack 256 06", "3 last 257 06", "4 signature 06"}},
        {500,
         128,
         {"1 request 06", "2 ack 256 06", "3 ack 500 06", "4 last 500 06", "5 signature 06"}},
        {66048,
         128,
         {"1 request 06", "2 ack 256 06", "3 ack 512 06", "4 ack 66048 06", "5 signature 06"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.length) + " bytes in blocks of " + std::to_string(c.block));
        DownloadBehaviour behaviour;
        behaviour.applicationBlock = c.block;
        ListenerRun run = feed(behaviour, '1', Bytes(c.length, 0x11));
        EXPECT_EQ(run.journal, c.answers);
        EXPECT_EQ(run.sent, Bytes(c.answers.size(), 0x06));
    }
}

TEST(DownloadListener, AcknowledgesFirmwareSegmentsByLayout)
{
    struct Case {
        std::size_t length;
        uint8_t layoutHigh;
        std::vector<std::string> answers;
    };
    const Case cases[] = {
        {2304, 0x02, {"1 request 06", "2 header 1 06", "3 header 2 06", "4 signature 06"}},
        {773 + 65536 + 10,
         0x01,
         {"1 request 06", "2 header 1 06", "3 header 2 06", "4 header 3 06", "5 body 65536 06",
          "6 last 65546 06", "7 signature 06"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.length);
        ListenerRun run = feed(DownloadBehaviour{}, '0', firmware(c.length, c.layoutHigh));
        EXPECT_EQ(run.journal, c.answers);
    }
}

TEST(DownloadListener, MisbehavesOnDemandAndWritesWhatItGot)
{
    rdrload::testing::TempFolder folder;
    DownloadBehaviour behaviour;
    behaviour.answers = {{2, 0x15}, {3, DownloadBehaviour::kSilent}};
    behaviour.signatureAnswer = 'A';
    behaviour.outputPath = folder.file("image.bin");
    Bytes image(300);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>(i);
    ListenerRun run = feed(behaviour, '1', image);
    EXPECT_EQ(run.journal, (std::vector<std::string>{"1 request 06", "2 ack 256 15",
                                                     "3 last 300 silent", "4 signature 41"}));
    EXPECT_EQ(run.sent, (Bytes{0x06, 0x15, 'A'}));
    EXPECT_EQ(rdrload::testing::readBytes(folder.file("image.bin")), image);

    // Two restarts, then a refusal with 'x', for firmware requests.
    DownloadBehaviour restarting;
    restarting.restarts = 2;
    restarting.afterFirmwareRequest = 'x';
    DownloadListener listener(restarting);
    EXPECT_EQ(listener.start('0'), (Bytes{0x06, 'f'}));
    listener.hostClosed();
    EXPECT_EQ(listener.start('0'), (Bytes{0x06, 'f'}));
    listener.hostClosed();
    EXPECT_EQ(listener.start('0'), (Bytes{0x06, 'x'}));
    EXPECT_TRUE(listener.received(0x00).empty()); // deaf until the host lets go
}
