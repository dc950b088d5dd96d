#pragma once

#include <cstdint>
#include <string>

namespace readersim {

// How the update receiver answers, and where it puts what it received;
// set from the command line's --update-* options.
struct UpdateBehaviour {
    static constexpr int kSilent = -1;

    // The decision byte: 0 takes the package, any other byte refuses it with
    // that reason; kSilent sends none.
    int decision = 0;
    // Header `headerFault` (counted from 1; 0: none) is answered with
    // `headerAnswer` instead of ACK: a byte or kSilent. The same for the data
    // of packet `packetFault`.
    uint32_t headerFault = 0;
    int headerAnswer = 0x15;
    uint32_t packetFault = 0;
    int packetAnswer = 0x15;
    // A completed package is written to this file (nothing when empty).
    std::string outputPath;

    // Whether `name` is one of the options below.
    static bool isOption(const std::string &name);
    // Takes one option and its value; false when the value is not valid.
    //   --update-decision N|none        (N 0 to 255)
    //   --update-header-answer K:ANSWER (ANSWER nak, none or 0xHH)
    //   --update-packet-answer K:ANSWER
    //   --update-output FILE
    bool takeOption(const std::string &name, const std::string &value);
    // The options' lines for the usage text.
    static const char *usage();
};

} // namespace readersim
