#include "ReaderEngine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace readersim;

namespace {

struct EngineWithJournal {
    explicit EngineWithJournal(ReaderBehaviour behaviour = {})
        : engine(behaviour, [this](const std::string &line) { journal.push_back(line); })
    {
    }
    std::vector<std::string> journal;
    ReaderEngine engine;
};

} // namespace

TEST(ReaderEngine, AnswersTheDoubleBreakOnlyAfterTheQuietTime)
{
    EngineWithJournal sim;
    EXPECT_FALSE(sim.engine.awaitingQuiet());
    sim.engine.hostOpened();
    EXPECT_TRUE(sim.engine.awaitingQuiet());
    // Bytes before the wake are not requests.
    sim.engine.received(Bytes{'1'});
    EXPECT_TRUE(sim.engine.takeOutput().empty());
    sim.engine.quietTimeElapsed();
    EXPECT_EQ(sim.engine.takeOutput(), (Bytes{0x06}));
    EXPECT_FALSE(sim.engine.awaitingQuiet());
    EXPECT_EQ(sim.journal, (std::vector<std::string>{"open", "recv 31", "send 06"}));
}

TEST(ReaderEngine, CanAnswerTheWakeWithAnyByteOrNotAtAll)
{
    ReaderBehaviour nak;
    nak.wakeAnswer = 0x15;
    EngineWithJournal withNak(nak);
    withNak.engine.hostOpened();
    withNak.engine.quietTimeElapsed();
    EXPECT_EQ(withNak.engine.takeOutput(), (Bytes{0x15}));

    ReaderBehaviour silent;
    silent.wakeAnswer = -1;
    EngineWithJournal quiet(silent);
    quiet.engine.hostOpened();
    quiet.engine.quietTimeElapsed();
    EXPECT_TRUE(quiet.engine.takeOutput().empty());
    quiet.engine.received(Bytes{'L'});
    EXPECT_TRUE(quiet.engine.takeOutput().empty()); // still asleep
}

TEST(ReaderEngine, EchoesALoopbackBlockAfterAcknowledgingItsHeader)
{
    EngineWithJournal sim;
    sim.engine.hostOpened();
    sim.engine.quietTimeElapsed();
    sim.engine.takeOutput();
    sim.engine.received(Bytes{'L'});
    EXPECT_EQ(sim.engine.takeOutput(), (Bytes{0x06}));
    sim.engine.received(Bytes{0x03, 0x00});
    EXPECT_EQ(sim.engine.takeOutput(), (Bytes{0x06}));
    sim.engine.received(Bytes{0x11, 0x13});
    EXPECT_TRUE(sim.engine.takeOutput().empty());
    sim.engine.received(Bytes{0x00});
    EXPECT_EQ(sim.engine.takeOutput(), (Bytes{0x11, 0x13, 0x00}));
    // Back to requests; the host's ACK needs no answer, others get NAK.
    sim.engine.received(Bytes{0x06, 'Z'});
    EXPECT_EQ(sim.engine.takeOutput(), (Bytes{0x15}));
}

TEST(ReaderEngine, AClosedPortForgetsWhatWasGoingOn)
{
    EngineWithJournal sim;
    sim.engine.hostOpened();
    sim.engine.quietTimeElapsed();
    sim.engine.received(Bytes{'L', 0x10});
    sim.engine.hostClosed();
    EXPECT_TRUE(sim.engine.takeOutput().empty());
    sim.engine.hostOpened();
    sim.engine.received(Bytes{0x00});
    EXPECT_TRUE(sim.engine.takeOutput().empty());
    sim.engine.quietTimeElapsed();
    EXPECT_EQ(sim.engine.takeOutput(), (Bytes{0x06}));
    EXPECT_EQ(sim.journal.back(), "send 06");
    EXPECT_EQ(sim.journal[sim.journal.size() - 4], "close");
}
