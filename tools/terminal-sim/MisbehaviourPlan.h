#pragma once
// How a simulated terminal departs from the protocol, on demand.
//
// Replies are numbered within one load: 1 is the initialisation reply, 2 the
// request reply, 2 + k the reply to data block k; "end" names the ending
// reply whatever its number, "data" every reply to a data block. Blocks are
// the data frames of the load, from 1.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct MisbehaviourPlan {
    static constexpr int kEndingReply = -1;
    static constexpr int kInitReply = 1;
    static constexpr int kRequestReply = 2;
    static constexpr int kEveryDataReply = -2;

    struct ByteChange {
        int reply = 0;
        size_t index = 0;
        int value = -1; // -1: the expected byte with every bit inverted
    };
    struct Cut {
        int reply = 0;
        size_t length = 0; // 0: no reply at all
    };
    struct Split {
        int reply = 0;
        size_t first = 0;     // bytes sent at once; the rest follows
        unsigned delayMs = 0; // after this pause
    };

    bool silent = false; // never answer
    std::vector<ByteChange> wrongBytes;
    std::vector<Cut> shortReplies;
    std::vector<Split> splitReplies;
    int nackBlock = 0; // answer block k with NACK 06 00 n <text>
    std::string nackText;
    int incompleteNackBlock = 0; // answer block k with 06 00 00
    int refuseBlock = 0;         // answer block k with 0x15
    bool noEndingReply = false;
    unsigned delayMs = 0; // wait before every reply
    int hangupBlock = 0;  // drop the connection at block k
    int onlyLoad = 0;     // 0: every load; n: load n alone
    // Bytes of the acknowledgement of an accepted block: 05 then zeros. The
    // loader's read of up to 255 bytes ends at once when it is full, instead
    // of waiting out its inter-byte time-out after a shorter reply.
    size_t ackLength = 1;

    // Sets the misbehaviour of one command-line style option ("nack",
    // "3:Err"); value is ignored by options that take none. False with a
    // reason in error when the option or its value is not understood.
    bool applyOption(const std::string &name, const std::string &value, std::string &error);

    static bool isOption(const std::string &name);
    static bool optionTakesValue(const std::string &name);

    bool appliesToLoad(int load) const { return onlyLoad == 0 || onlyLoad == load; }
};
