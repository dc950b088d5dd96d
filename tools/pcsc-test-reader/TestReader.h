#pragma once
// One test reader as pcscd sees it through the driver: its attributes, its
// (always empty) card slots, the feature request, and escape commands, which
// carry the loader's frames to a simulated terminal. Results are the driver
// interface's response codes. Thread-safe: pcscd may call for different
// slots at once.

#include "TerminalEngine.h"
#include "TestReaderConfig.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

extern "C" {
#include <ifdhandler.h>
}

class TestReader {
public:
    explicit TestReader(TestReaderConfig config);
    ~TestReader();
    TestReader(const TestReader &) = delete;
    TestReader &operator=(const TestReader &) = delete;

    const TestReaderConfig &config() const { return config_; }

    // Driver capabilities and reader attributes by tag.
    RESPONSECODE capability(DWORD tag, PUCHAR value, DWORD &length);
    // Whether a card is in the slot: never. A reader that denies connections
    // answers the first question and fails every later one, which leaves it
    // listed but unavailable.
    RESPONSECODE presence(DWORD slot);
    // The feature request, escape commands; every other code is refused.
    RESPONSECODE control(DWORD code, const uint8_t *in, DWORD inLength, uint8_t *out,
                         DWORD outCapacity, DWORD &returned);

    // Leading bytes of every escape answer, ahead of the terminal's answer.
    static constexpr uint8_t kAnswerLead[2] = {0x00, 0x00};
    static constexpr uint8_t kEscapeLead = 0x11;

private:
    RESPONSECODE answerFeatureRequest(uint8_t *out, DWORD outCapacity, DWORD &returned);
    RESPONSECODE answerEscape(const uint8_t *in, DWORD inLength, uint8_t *out, DWORD outCapacity,
                              DWORD &returned);
    void writeCompletedLoads();
    bool writeOutput(const CompletedLoad &load);
    void writeLogLine(const std::string &line);

    TestReaderConfig config_;
    std::mutex mutex_; // guards everything below
    TerminalEngine engine_;
    std::vector<int> presenceQuestions_;
    FILE *log_ = nullptr;
    long long startMs_ = 0;
};
