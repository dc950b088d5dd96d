#pragma once
// The terminal's side of a database load, without any transport: one host
// command in, the terminal's reply out. A transport (a pty, a PC/SC test
// reader) hands it each command as the host framed it and carries out the
// reply, its delay and a hang-up.
//
// The terminal answers the initialisation frame, confirms the request frame
// (file size and entries), acknowledges each data block with 0x05 and
// confirms the ending frame with 05 00 00 when it received as many bytes as
// announced. Every frame and what was made of it goes to the frame log.

#include "FrameLog.h"
#include "MisbehaviourPlan.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

enum class FrameKind { CarriageReturn, Init, Request, Data, Ending, Unknown };

struct EngineReply {
    std::vector<uint8_t> bytes; // empty: no answer
    unsigned delayMs = 0;       // wait before answering
    size_t splitAt = 0;         // 0: send whole; n: the first n bytes, then...
    unsigned splitDelayMs = 0;  // ...the rest after this pause
    bool hangUp = false;        // drop the connection instead of answering
};

struct RequestEntry {
    int number = 0;
    std::string text;
};

struct CompletedLoad {
    int number = 0; // counts initialisations since the engine started, from 1
    int pad = 0;
    uint32_t announcedSize = 0;
    std::vector<RequestEntry> entries;
    std::vector<uint8_t> data;
};

class TerminalEngine {
public:
    static constexpr int kAnyPad = -1;
    static constexpr size_t kMaxPayload = 30717;

    enum class Phase { Idle, Initialised, Receiving };

    // pad: answer only frames addressed to this PAD (0 to 15), or any.
    explicit TerminalEngine(MisbehaviourPlan plan = MisbehaviourPlan(), int pad = kAnyPad);

    EngineReply handleCommand(const uint8_t *command, size_t size);
    EngineReply handleCommand(const std::vector<uint8_t> &command)
    {
        return handleCommand(command.data(), command.size());
    }

    // Loads whose ending frame came after exactly the announced bytes,
    // oldest first; each is handed out once.
    bool takeCompletedLoad(CompletedLoad &load);
    int completedLoads() const { return completedCount_; }

    Phase phase() const { return phase_; }
    int loadNumber() const { return loadNumber_; }
    int pad() const { return pad_; }
    uint32_t announcedSize() const { return announcedSize_; }
    const std::vector<RequestEntry> &entries() const { return entries_; }
    const std::vector<uint8_t> &received() const { return received_; }
    int blocksSeen() const { return blocks_; }

    FrameLog &log() { return log_; }
    const FrameLog &log() const { return log_; }

    static FrameKind classify(const uint8_t *command, size_t size);
    static const char *kindName(FrameKind kind);

private:
    std::vector<uint8_t> answerInit(const uint8_t *command, size_t size, bool &answer);
    std::vector<uint8_t> answerRequest(const uint8_t *command, size_t size, bool &answer);
    std::vector<uint8_t> answerData(const uint8_t *command, size_t size, EngineReply &reply);
    std::vector<uint8_t> answerEnding();
    bool parseRequest(const uint8_t *command, size_t size, std::string &problem);
    std::vector<uint8_t> requestReply(uint8_t status) const;
    void misbehave(FrameKind kind, EngineReply &reply);
    bool addressedToUs(uint8_t first);

    MisbehaviourPlan plan_;
    int acceptedPad_;
    FrameLog log_;

    Phase phase_ = Phase::Idle;
    int loadNumber_ = 0;
    int pad_ = 0;
    int replyNumber_ = 0; // replies of the current load so far
    int blocks_ = 0;      // data frames of the current load so far
    uint32_t announcedSize_ = 0;
    std::vector<RequestEntry> entries_;
    std::vector<uint8_t> received_;

    std::deque<CompletedLoad> completed_;
    int completedCount_ = 0;
};
