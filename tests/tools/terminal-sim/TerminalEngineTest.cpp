// The simulated terminal's protocol engine, command by command, with each
// misbehaviour and the frames a wrong host could send.

#include "TerminalEngine.h"
#include "Crc16Kermit.h"
#include "FrameAssembler.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes withCrc(Bytes frame)
{
    appendCrc16Kermit(frame);
    return frame;
}

Bytes initFrame(int pad)
{
    return withCrc({uint8_t(pad * 16 + 15), 0xC0, 0x04, 0x00, 0x78, 0x01, 0x2C});
}

// The host's request frame for a file of size bytes and the given entries.
Bytes requestFrame(int pad, uint32_t size, const std::vector<RequestEntry> &entries = {})
{
    Bytes sizeBytes;
    for (uint32_t v = size; v != 0; v >>= 8)
        sizeBytes.insert(sizeBytes.begin(), uint8_t(v));
    Bytes body;
    for (const RequestEntry &entry : entries) {
        body.push_back(uint8_t(0x80 + entry.number));
        body.push_back(uint8_t(entry.text.size()));
        body.insert(body.end(), entry.text.begin(), entry.text.end());
    }
    Bytes frame{
        uint8_t(pad * 16 + 15),   0x40, 0, 0x05, 0x01, 0x01, 0x60, uint8_t(body.size()), 0x80,
        uint8_t(sizeBytes.size())};
    frame.insert(frame.end(), sizeBytes.begin(), sizeBytes.end());
    frame.insert(frame.end(), body.begin(), body.end());
    frame[2] = uint8_t(frame.size() - 3);
    return withCrc(frame);
}

Bytes dataFrame(const Bytes &payload)
{
    Bytes frame{0x01, uint8_t(payload.size() >> 8), uint8_t(payload.size())};
    frame.insert(frame.end(), payload.begin(), payload.end());
    return frame;
}

const Bytes kEnding{0x02, 0x00, 0x00};
const Bytes kInitReplyPad2{0xF2, 0xE0, 0x04, 0x00, 0x78, 0x01, 0x2C, 0x45, 0xBB};
const Bytes kRequestReplyPad2{0xF2, 0x40, 0x02, 0x00, 0x00, 0x21, 0x2A};
const Bytes kAck{0x05};
const Bytes kEndingConfirmed{0x05, 0x00, 0x00};

MisbehaviourPlan planOf(const std::vector<std::pair<std::string, std::string>> &options)
{
    MisbehaviourPlan plan;
    std::string error;
    for (const auto &option : options)
        EXPECT_TRUE(plan.applyOption(option.first, option.second, error)) << error;
    return plan;
}

// Runs a whole load of blocks and returns every reply in order.
std::vector<Bytes> runLoad(TerminalEngine &engine, const std::vector<Bytes> &blocks, int pad = 2)
{
    uint32_t size = 0;
    for (const Bytes &block : blocks)
        size += uint32_t(block.size());
    std::vector<Bytes> replies;
    replies.push_back(engine.handleCommand(initFrame(pad)).bytes);
    replies.push_back(engine.handleCommand(requestFrame(pad, size, {{1, "AB"}})).bytes);
    for (const Bytes &block : blocks)
        replies.push_back(engine.handleCommand(dataFrame(block)).bytes);
    replies.push_back(engine.handleCommand(kEnding).bytes);
    return replies;
}

const std::vector<Bytes> kTwoBlocks = {Bytes(30717, 0x61), Bytes(9283, 0x62)};

} // namespace

TEST(Crc16KermitTest, CheckValueAndProtocolFrames)
{
    const std::string digits = "123456789";
    EXPECT_EQ(crc16Kermit(reinterpret_cast<const uint8_t *>(digits.data()), digits.size()), 0x2189);
    EXPECT_EQ(initFrame(2), (Bytes{0x2F, 0xC0, 0x04, 0x00, 0x78, 0x01, 0x2C, 0xB8, 0xE4}));
    EXPECT_EQ(initFrame(3), (Bytes{0x3F, 0xC0, 0x04, 0x00, 0x78, 0x01, 0x2C, 0x71, 0x51}));
}

TEST(TerminalEngineTest, WholeLoadIsAnsweredAndReceived)
{
    TerminalEngine engine;
    std::vector<Bytes> replies = runLoad(engine, kTwoBlocks);
    EXPECT_EQ(replies, (std::vector<Bytes>{kInitReplyPad2, kRequestReplyPad2, kAck, kAck,
                                           kEndingConfirmed}));
    CompletedLoad load;
    ASSERT_TRUE(engine.takeCompletedLoad(load));
    EXPECT_EQ(load.number, 1);
    EXPECT_EQ(load.pad, 2);
    EXPECT_EQ(load.announcedSize, 40000u);
    ASSERT_EQ(load.entries.size(), 1u);
    EXPECT_EQ(load.entries[0].number, 1);
    EXPECT_EQ(load.entries[0].text, "AB");
    Bytes expected = kTwoBlocks[0];
    expected.insert(expected.end(), kTwoBlocks[1].begin(), kTwoBlocks[1].end());
    EXPECT_EQ(load.data, expected);
    EXPECT_FALSE(engine.takeCompletedLoad(load));
    EXPECT_EQ(engine.phase(), TerminalEngine::Phase::Idle);
}

TEST(TerminalEngineTest, RepliesCarryThePadOfTheFrames)
{
    TerminalEngine engine;
    EXPECT_EQ(engine.handleCommand(initFrame(3)).bytes,
              (Bytes{0xF3, 0xE0, 0x04, 0x00, 0x78, 0x01, 0x2C, 0x90, 0x24}));
    EXPECT_EQ(engine.handleCommand(requestFrame(3, 0)).bytes,
              (Bytes{0xF3, 0x40, 0x02, 0x00, 0x00, 0x65, 0x21}));
    // An empty database: no data block, the ending is confirmed.
    EXPECT_EQ(engine.handleCommand(kEnding).bytes, kEndingConfirmed);
    CompletedLoad load;
    ASSERT_TRUE(engine.takeCompletedLoad(load));
    EXPECT_TRUE(load.data.empty());
    EXPECT_EQ(load.pad, 3);
}

TEST(TerminalEngineTest, TerminalWithAPadAnswersOnlyItsOwnFrames)
{
    TerminalEngine engine(MisbehaviourPlan(), 2);
    EXPECT_TRUE(engine.handleCommand(initFrame(3)).bytes.empty());
    EXPECT_TRUE(engine.log().contains("this terminal is PAD 2"));
    EXPECT_EQ(engine.handleCommand(initFrame(2)).bytes, kInitReplyPad2);
    // A request for another PAD inside a load is not answered either.
    EXPECT_TRUE(engine.handleCommand(requestFrame(4, 10)).bytes.empty());
}

TEST(TerminalEngineTest, SeveralLoadsInARowAreCountedAndKept)
{
    TerminalEngine engine;
    runLoad(engine, {Bytes(5, 1)});
    runLoad(engine, {Bytes(7, 2)}, 5);
    EXPECT_EQ(engine.completedLoads(), 2);
    CompletedLoad first, second;
    ASSERT_TRUE(engine.takeCompletedLoad(first));
    ASSERT_TRUE(engine.takeCompletedLoad(second));
    EXPECT_EQ(first.number, 1);
    EXPECT_EQ(first.data, Bytes(5, 1));
    EXPECT_EQ(second.number, 2);
    EXPECT_EQ(second.pad, 5);
    EXPECT_EQ(second.data, Bytes(7, 2));
}

TEST(TerminalEngineTest, SilentTerminalAnswersNothing)
{
    TerminalEngine engine(planOf({{"silent", ""}}));
    for (const Bytes &reply : runLoad(engine, kTwoBlocks))
        EXPECT_TRUE(reply.empty());
}

TEST(TerminalEngineTest, WrongByteInTheNamedReply)
{
    // Initialisation reply byte 1 inverted: the host sees a wrong byte (code 3).
    TerminalEngine init(planOf({{"wrong-byte", "init:1"}}));
    Bytes expected = kInitReplyPad2;
    expected[1] = 0x1F;
    EXPECT_EQ(init.handleCommand(initFrame(2)).bytes, expected);

    // Request reply status byte set: not confirmed (code 4).
    TerminalEngine request(planOf({{"wrong-byte", "2:4:0x01"}}));
    std::vector<Bytes> replies = runLoad(request, {Bytes(3, 9)});
    Bytes refused = kRequestReplyPad2;
    refused[4] = 0x01;
    EXPECT_EQ(replies[1], refused);

    // The ending reply by name whatever its number (code 8).
    TerminalEngine ending(planOf({{"wrong-byte", "end:2:1"}}));
    EXPECT_EQ(runLoad(ending, kTwoBlocks).back(), (Bytes{0x05, 0x00, 0x01}));

    // Reply 3 is the reply to block 1; an index past the reply changes nothing.
    TerminalEngine block(planOf({{"wrong-byte", "3:0:0x15"}, {"wrong-byte", "4:5"}}));
    replies = runLoad(block, kTwoBlocks);
    EXPECT_EQ(replies[2], Bytes{0x15});
    EXPECT_EQ(replies[3], kAck);
}

TEST(TerminalEngineTest, ShortReplies)
{
    TerminalEngine engine(
        planOf({{"short-reply", "init:5"}, {"short-reply", "request:6"}, {"short-reply", "4:0"}}));
    std::vector<Bytes> replies = runLoad(engine, kTwoBlocks);
    EXPECT_EQ(replies[0], Bytes(kInitReplyPad2.begin(), kInitReplyPad2.begin() + 5));
    EXPECT_EQ(replies[1], Bytes(kRequestReplyPad2.begin(), kRequestReplyPad2.begin() + 6));
    EXPECT_EQ(replies[2], kAck);
    EXPECT_TRUE(replies[3].empty()); // block 2 unanswered (code 14)
}

TEST(TerminalEngineTest, NackWithTextAtTheNamedBlockKeepsNothingOfIt)
{
    TerminalEngine engine(planOf({{"nack", "2:Err"}}));
    std::vector<Bytes> replies = runLoad(engine, kTwoBlocks);
    EXPECT_EQ(replies[2], kAck);
    EXPECT_EQ(replies[3], (Bytes{0x06, 0x00, 0x03, 0x45, 0x72, 0x72}));
    // The block was not kept, so the ending is not confirmed.
    EXPECT_EQ(replies[4], (Bytes{0x15, 0x00, 0x00}));
    EXPECT_EQ(engine.completedLoads(), 0);
    EXPECT_TRUE(engine.log().contains("block 2: NACK \"Err\""));
}

TEST(TerminalEngineTest, IncompleteNackAndRefusalAtTheNamedBlock)
{
    TerminalEngine incomplete(planOf({{"incomplete-nack", "1"}}));
    EXPECT_EQ(runLoad(incomplete, kTwoBlocks)[2], (Bytes{0x06, 0x00, 0x00}));
    TerminalEngine refuse(planOf({{"refuse", "2"}}));
    std::vector<Bytes> replies = runLoad(refuse, kTwoBlocks);
    EXPECT_EQ(replies[2], kAck);
    EXPECT_EQ(replies[3], Bytes{0x15});
    EXPECT_EQ(replies[4], (Bytes{0x15, 0x00, 0x00})); // a block short: not confirmed
    EXPECT_EQ(refuse.received().size(), 30717u);
    EXPECT_EQ(refuse.completedLoads(), 0);
}

TEST(TerminalEngineTest, NoEndingReplyButTheLoadWasReceived)
{
    TerminalEngine engine(planOf({{"no-ending-reply", ""}}));
    std::vector<Bytes> replies = runLoad(engine, kTwoBlocks);
    EXPECT_EQ(replies[3], kAck);
    EXPECT_TRUE(replies.back().empty());
    EXPECT_EQ(engine.completedLoads(), 1);
}

TEST(TerminalEngineTest, DelayAndHangUpAreLeftToTheTransport)
{
    TerminalEngine engine(planOf({{"delay", "250"}, {"hangup", "2"}}));
    EngineReply init = engine.handleCommand(initFrame(2));
    EXPECT_EQ(init.delayMs, 250u);
    EXPECT_FALSE(init.hangUp);
    engine.handleCommand(requestFrame(2, 40000));
    EXPECT_FALSE(engine.handleCommand(dataFrame(kTwoBlocks[0])).hangUp);
    EngineReply gone = engine.handleCommand(dataFrame(kTwoBlocks[1]));
    EXPECT_TRUE(gone.hangUp);
    EXPECT_TRUE(gone.bytes.empty());
    EXPECT_EQ(engine.phase(), TerminalEngine::Phase::Idle);
    EXPECT_TRUE(engine.log().contains("hang-up at block 2 of load 1"));
}

TEST(TerminalEngineTest, MisbehavioursCanBeKeptToOneLoad)
{
    TerminalEngine engine(planOf({{"refuse", "1"}, {"on-load", "2"}}));
    EXPECT_EQ(runLoad(engine, {Bytes(4, 1)})[2], kAck);
    EXPECT_EQ(runLoad(engine, {Bytes(4, 1)})[2], Bytes{0x15});
    EXPECT_EQ(runLoad(engine, {Bytes(4, 1)})[2], kAck);
    EXPECT_EQ(engine.completedLoads(), 2);
}

TEST(TerminalEngineTest, FramesOutsideTheProtocolOrOutOfOrder)
{
    TerminalEngine engine;
    EXPECT_TRUE(engine.handleCommand(Bytes{0x0D}).bytes.empty());
    EXPECT_TRUE(engine.handleCommand(Bytes{0x41, 0x42}).bytes.empty());
    EXPECT_TRUE(engine.handleCommand(Bytes{}).bytes.empty());
    // Request, data and ending before any initialisation.
    EXPECT_TRUE(engine.handleCommand(requestFrame(2, 5)).bytes.empty());
    EXPECT_EQ(engine.handleCommand(dataFrame({1, 2})).bytes, Bytes{0x15});
    EXPECT_EQ(engine.handleCommand(kEnding).bytes, (Bytes{0x15, 0x00, 0x00}));

    Bytes badCrc = initFrame(2);
    badCrc[8] ^= 1;
    EXPECT_TRUE(engine.handleCommand(badCrc).bytes.empty());
    Bytes init = initFrame(2);
    EXPECT_TRUE(engine.handleCommand(Bytes(init.begin(), init.begin() + 8)).bytes.empty());
    EXPECT_EQ(engine.loadNumber(), 0);
    EXPECT_EQ(engine.handleCommand(initFrame(2)).bytes, kInitReplyPad2);
    // Data before the request is confirmed.
    EXPECT_EQ(engine.handleCommand(dataFrame({1})).bytes, Bytes{0x15});
}

TEST(TerminalEngineTest, MalformedRequestFramesAreRefusedWithStatusOne)
{
    const Bytes refusal = withCrc({0xF2, 0x40, 0x02, 0x00, 0x01});
    auto answerTo = [](Bytes request) {
        TerminalEngine engine;
        engine.handleCommand(initFrame(2));
        return engine.handleCommand(request).bytes;
    };
    Bytes good = requestFrame(2, 74565, {{1, "AB"}});
    EXPECT_EQ(good, (Bytes{0x2F, 0x40, 0x0E, 0x05, 0x01, 0x01, 0x60, 0x04, 0x80, 0x03, 0x01, 0x23,
                           0x45, 0x81, 0x02, 0x41, 0x42, 0xCE, 0x09}));
    EXPECT_EQ(answerTo(good), kRequestReplyPad2);

    Bytes crc = good;
    crc.back() ^= 0x80;
    EXPECT_EQ(answerTo(crc), refusal);
    Bytes length = good;
    length[2] = 0x0F;
    EXPECT_EQ(answerTo(withCrc(Bytes(length.begin(), length.end() - 2))), refusal);
    Bytes tag = good;
    tag[13] = 0x90; // entry number 16
    EXPECT_EQ(answerTo(withCrc(Bytes(tag.begin(), tag.end() - 2))), refusal);
    Bytes overrun = good;
    overrun[14] = 0x05; // entry text longer than the entries
    EXPECT_EQ(answerTo(withCrc(Bytes(overrun.begin(), overrun.end() - 2))), refusal);
    EXPECT_EQ(answerTo(Bytes(good.begin(), good.begin() + 11)), refusal);

    // 246 bytes of entries with a 3-byte size make LEN 256: the byte sent
    // (0) does not describe the frame.
    std::vector<RequestEntry> full;
    for (int i = 0; i < 3; ++i)
        full.push_back({i + 1, std::string(80, 'x')});
    Bytes wrapped = requestFrame(2, 70000, full);
    EXPECT_EQ(wrapped[2], 0x00);
    EXPECT_EQ(answerTo(wrapped), refusal);
}

TEST(TerminalEngineTest, DataFramesThatDoNotFitAreRefused)
{
    TerminalEngine engine;
    engine.handleCommand(initFrame(2));
    engine.handleCommand(requestFrame(2, 10));
    Bytes lying = dataFrame(Bytes(4, 7));
    lying[2] = 5; // announces 5, carries 4
    EXPECT_EQ(engine.handleCommand(lying).bytes, Bytes{0x15});
    EXPECT_EQ(engine.handleCommand(dataFrame(Bytes(11, 7))).bytes, Bytes{0x15}); // past the size
    EXPECT_EQ(engine.handleCommand(Bytes{0x01, 0x00, 0x00}).bytes, Bytes{0x15}); // empty block
    EXPECT_EQ(engine.handleCommand(dataFrame(Bytes(10, 7))).bytes, kAck);
    EXPECT_EQ(engine.blocksSeen(), 4);
    EXPECT_EQ(engine.handleCommand(kEnding).bytes, kEndingConfirmed);
}

TEST(TerminalEngineTest, FrameLogRecordsEveryFrameAndReply)
{
    TerminalEngine engine;
    std::vector<std::string> sunk;
    engine.log().setSink([&](const std::string &line) { sunk.push_back(line); });
    runLoad(engine, {Bytes(100, 0xAB)});
    EXPECT_TRUE(engine.log().contains("H>T init 9: 2F C0 04 00 78 01 2C B8 E4"));
    EXPECT_TRUE(engine.log().contains("T>H init-reply 9: F2 E0 04 00 78 01 2C 45 BB"));
    EXPECT_TRUE(engine.log().contains("-- request: file size 100, 1 entries 1=\"AB\""));
    EXPECT_TRUE(engine.log().contains(" ... (+55)")); // 103-byte data frame, 48 shown
    EXPECT_TRUE(engine.log().contains("T>H ending-reply 3: 05 00 00"));
    EXPECT_EQ(sunk.size(), engine.log().lines().size());
}

TEST(TerminalEngineTest, AcknowledgementsCanFillTheLoadersRead)
{
    TerminalEngine engine(planOf({{"ack-length", "255"}}));
    const std::vector<Bytes> replies = runLoad(engine, {Bytes(100, 0x11), Bytes(5, 0x22)});
    Bytes full(255, 0x00);
    full[0] = 0x05;
    EXPECT_EQ(replies[2], full);
    EXPECT_EQ(replies[3], full);
    EXPECT_EQ(replies[4], kEndingConfirmed);
    CompletedLoad load;
    ASSERT_TRUE(engine.takeCompletedLoad(load));
    EXPECT_EQ(load.data.size(), 105u);
    MisbehaviourPlan plan;
    std::string error;
    EXPECT_FALSE(plan.applyOption("ack-length", "0", error));
    EXPECT_FALSE(plan.applyOption("ack-length", "256", error));
}

// A split is left to the transport: the engine names where the reply is cut
// and how long the rest waits, for the replies named (here every data reply
// and the ending reply) and no other.
TEST(TerminalEngineTest, SplitRepliesAreLeftToTheTransport)
{
    TerminalEngine engine(
        planOf({{"ack-length", "3"}, {"split-reply", "data:1:10"}, {"split-reply", "end:2:40"}}));
    EngineReply init = engine.handleCommand(initFrame(2));
    EXPECT_EQ(init.splitAt, 0u);
    engine.handleCommand(requestFrame(2, 40000));
    for (const Bytes &block : kTwoBlocks) {
        EngineReply ack = engine.handleCommand(dataFrame(block));
        EXPECT_EQ(ack.bytes, (Bytes{0x05, 0x00, 0x00}));
        EXPECT_EQ(ack.splitAt, 1u);
        EXPECT_EQ(ack.splitDelayMs, 10u);
    }
    EngineReply ending = engine.handleCommand(kEnding);
    EXPECT_EQ(ending.bytes, kEndingConfirmed);
    EXPECT_EQ(ending.splitAt, 2u);
    EXPECT_EQ(ending.splitDelayMs, 40u);
    EXPECT_TRUE(engine.log().contains("reply 3: 1 bytes, the rest 10 ms later (misbehaviour)"));

    // A split at or past the reply's end sends it whole.
    TerminalEngine whole(planOf({{"split-reply", "data:1:10"}}));
    whole.handleCommand(initFrame(2));
    whole.handleCommand(requestFrame(2, 4));
    EngineReply lone = whole.handleCommand(dataFrame(Bytes(4, 1)));
    EXPECT_EQ(lone.bytes, kAck);
    EXPECT_EQ(lone.splitAt, 0u);
    MisbehaviourPlan plan;
    std::string error;
    EXPECT_FALSE(plan.applyOption("split-reply", "data:0:10", error));
    EXPECT_FALSE(plan.applyOption("split-reply", "data:1", error));
    EXPECT_FALSE(plan.applyOption("split-reply", "data:1:-5", error));
    EXPECT_TRUE(plan.splitReplies.empty());
}

TEST(MisbehaviourPlanTest, OptionValuesAreChecked)
{
    MisbehaviourPlan plan;
    std::string error;
    EXPECT_FALSE(plan.applyOption("wrong-byte", "init", error));
    EXPECT_FALSE(plan.applyOption("wrong-byte", "0:1", error)); // replies count from 1
    EXPECT_FALSE(plan.applyOption("wrong-byte", "1:2:256", error));
    EXPECT_FALSE(plan.applyOption("short-reply", "x:1", error));
    EXPECT_FALSE(plan.applyOption("nack", "3", error));
    EXPECT_FALSE(plan.applyOption("refuse", "0", error));
    EXPECT_FALSE(plan.applyOption("hangup", "-1", error));
    EXPECT_FALSE(plan.applyOption("delay", "soon", error));
    EXPECT_FALSE(plan.applyOption("explode", "", error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(plan.wrongBytes.empty());
    EXPECT_TRUE(plan.shortReplies.empty());

    EXPECT_TRUE(plan.applyOption("nack", "1:a:b", error)); // the text may hold colons
    EXPECT_EQ(plan.nackText, "a:b");
    EXPECT_TRUE(plan.applyOption("nack", "1:", error)); // an empty text
    EXPECT_TRUE(MisbehaviourPlan::isOption("silent"));
    EXPECT_FALSE(MisbehaviourPlan::optionTakesValue("silent"));
    EXPECT_TRUE(MisbehaviourPlan::optionTakesValue("hangup"));
}

TEST(FrameAssemblerTest, CommandsAreCutByTheirOwnLengths)
{
    FrameAssembler assembler;
    Bytes request = requestFrame(2, 74565, {{1, "AB"}, {15, ""}});
    Bytes data = dataFrame(Bytes(300, 0x42));
    Bytes stream = initFrame(2);
    stream.insert(stream.end(), request.begin(), request.end());
    stream.insert(stream.end(), data.begin(), data.end());
    stream.insert(stream.end(), kEnding.begin(), kEnding.end());
    stream.push_back(0x0D);

    // Fed in small uneven pieces, as a line delivers them.
    std::vector<Bytes> commands;
    Bytes command;
    for (size_t at = 0; at < stream.size(); at += 7) {
        size_t n = std::min<size_t>(7, stream.size() - at);
        assembler.append(stream.data() + at, n);
        while (assembler.takeComplete(command))
            commands.push_back(command);
    }
    EXPECT_EQ(commands, (std::vector<Bytes>{initFrame(2), request, data, kEnding, Bytes{0x0D}}));
    EXPECT_EQ(assembler.pending(), 0u);
}

TEST(FrameAssemblerTest, UnknownOrUnfinishedBytesWaitForAQuietLine)
{
    FrameAssembler assembler;
    Bytes command;
    const Bytes noise{0x41, 0x42, 0x43};
    assembler.append(noise.data(), noise.size());
    EXPECT_FALSE(assembler.takeComplete(command));
    EXPECT_TRUE(assembler.takeQuiet(command));
    EXPECT_EQ(command, noise);
    EXPECT_FALSE(assembler.takeQuiet(command));

    Bytes half = dataFrame(Bytes(100, 1));
    half.resize(50);
    assembler.append(half.data(), half.size());
    EXPECT_FALSE(assembler.takeComplete(command));
    EXPECT_EQ(FrameAssembler::commandLength(half.data(), 2), 0u); // too short to tell
    EXPECT_EQ(FrameAssembler::commandLength(half.data(), half.size()), 103u);
    EXPECT_TRUE(assembler.takeQuiet(command));
    EXPECT_EQ(command, half);
}
