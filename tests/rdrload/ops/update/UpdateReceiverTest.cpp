// reader-sim's update receiver on its own: the rules it checks, so that a
// transfer it reports complete has kept them.

#include "UpdateReceiver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace readersim;
using Bytes = UpdateReceiver::Bytes;
using Lines = std::vector<std::string>;

namespace {

Bytes frame(uint32_t first, uint32_t second)
{
    Bytes bytes;
    for (uint32_t value : {first, second}) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
    return bytes;
}

Bytes operator+(Bytes left, const Bytes &right)
{
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

struct Receiver {
    explicit Receiver(UpdateBehaviour behaviour = {})
        : update(behaviour, [this](const std::string &line) { journal.push_back(line); })
    {
        update.start();
    }
    // Feeds the bytes; returns everything the receiver answered meanwhile.
    Bytes feed(const Bytes &bytes)
    {
        Bytes answers = update.takeOutput();
        for (uint8_t byte : bytes) {
            update.received(byte);
            answers = answers + update.takeOutput();
        }
        return answers;
    }
    Lines journal;
    UpdateReceiver update;
};

const uint8_t A = 0x06;
const uint8_t N = 0x15;

// Up to the host's ACK of an acceptance.
Bytes opening(uint32_t length)
{
    return frame(0, length) + Bytes{A} + frame(0, 0);
}

} // namespace

TEST(UpdateReceiver, ABrokenRuleIsAnsweredWithNakAndJournaled)
{
    struct Case {
        const char *name;
        Bytes afterOpening;
        std::string fault;
    };
    const Bytes one(1, 0x11);
    const Case cases[] = {
        {"first sequence number 2", frame(2, 1), "sequence number 2 where 1 was due"},
        {"sequence skips", frame(1, 1) + one + frame(3, 1), "sequence number 3 where 2 was due"},
        {"sequence repeats", frame(1, 1) + one + frame(1, 1), "sequence number 1 where 2 was due"},
        {"empty packet", frame(1, 0), "packet length 0 outside 1 to 8192"},
        {"packet too long", frame(1, 8193), "packet length 8193 outside 1 to 8192"},
        {"beyond the announced length", frame(1, 3) + Bytes(3, 0) + frame(2, 8),
         "packet 2 goes beyond the announced 10 bytes"},
        {"closure too early", frame(1, 3) + Bytes(3, 0) + frame(0xFFFFFFFF, 0),
         "closure after 3 of 10 announced bytes"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Receiver receiver;
        receiver.feed(opening(10));
        const Bytes answers = receiver.feed(c.afterOpening);
        ASSERT_FALSE(answers.empty());
        EXPECT_EQ(answers.back(), N);
        EXPECT_EQ(receiver.journal.back(), "update fault: " + c.fault);
        // Nothing more is taken from this transfer.
        EXPECT_TRUE(receiver.feed(frame(9, 1) + one).empty());
        EXPECT_FALSE(receiver.update.finished());
    }
}

TEST(UpdateReceiver, WithholdsTheDecisionOrFallsSilentWhenTold)
{
    UpdateBehaviour withhold;
    withhold.decision = UpdateBehaviour::kSilent;
    Receiver silent(withhold);
    EXPECT_EQ(silent.feed(frame(0, 10)), (Bytes{A, A})); // the request's and the information's

    UpdateBehaviour packet1;
    packet1.packetFault = 1;
    packet1.packetAnswer = UpdateBehaviour::kSilent;
    Receiver quiet(packet1);
    quiet.feed(opening(2));
    EXPECT_EQ(quiet.feed(frame(1, 2) + Bytes{7, 8}), (Bytes{A})); // the header's only
}
