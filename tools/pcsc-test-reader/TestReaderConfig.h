#pragma once
// Configuration of one test reader: a text file, one setting per line,
// "key = value" or a bare key for switches; "#" starts a comment. pcscd
// hands the file's path to the driver as the reader's device name.
//
//   name = Velantra Test Reader   name pcscd lists the reader under (read by
//                                 the start script; the driver ignores it)
//   vendor = Velantra             vendor-name attribute (default Velantra)
//   serial = 0001A2B3             serial-number attribute (default empty)
//   slots = 1                     slots of the reader, 1 to 4
//   escape-code = 3500            control code of escape commands: a function
//                                 number up to 4095 (the platform's
//                                 SCARD_CTL_CODE(n)) or a whole code (0x...)
//   features = escape             answer to the feature request: "escape"
//                                 (one entry 13 04 <escape code>), "none"
//                                 (an empty list), "refuse", or the list's
//                                 bytes in hexadecimal (12 04 42 00 0D 48 ...)
//   deny = connect vendor serial  what the reader refuses: connections, the
//                                 vendor-name or the serial-number attribute
//   escape-answer-max = N         cut every escape answer (its two leading
//                                 bytes included) to N bytes
//   out = PATH                    write each database received whole to PATH
//                                 ("%n": the load number); relative paths are
//                                 taken from the folder of this file
//   log = PATH                    frame log of the simulated terminal
//   pad = N                       answer only frames for PAD N (0 to 15)
//   silent, wrong-byte = R:I[:V], short-reply = R:N, nack = K:TEXT,
//   incomplete-nack = K, refuse = K, no-ending-reply, delay = MS,
//   hangup = K, on-load = N       misbehaviours of the simulated terminal,
//                                 as the options of terminal-sim

#include "MisbehaviourPlan.h"
#include "TerminalEngine.h"

#include <cstdint>
#include <string>
#include <vector>

struct TestReaderConfig {
    enum class Features { Escape, None, Refuse, Listed };

    std::string name;
    std::string vendor = "Velantra";
    std::string serial;
    int slots = 1;
    uint32_t escapeCode = 0; // set from the platform's SCARD_CTL_CODE(3500)
    Features features = Features::Escape;
    std::vector<uint8_t> featureBytes; // for Features::Listed
    bool denyConnect = false;
    bool denyVendor = false;
    bool denySerial = false;
    int escapeAnswerMax = -1; // -1: whole answers
    std::string outPath;
    std::string logPath;
    int pad = TerminalEngine::kAnyPad;
    MisbehaviourPlan plan;

    static constexpr int kMaxSlots = 4;

    TestReaderConfig();

    // Reads the settings from text; baseFolder resolves relative paths.
    // False with "line N: reason" in error on the first bad line.
    bool parse(const std::string &text, const std::string &baseFolder, std::string &error);
    // Reads the file at path; relative paths are taken from its folder.
    bool load(const std::string &path, std::string &error);

    // The feature list the reader answers with (empty for None and Refuse).
    std::vector<uint8_t> featureList() const;

private:
    bool apply(const std::string &key, const std::string &value, bool hasValue,
               const std::string &baseFolder, std::string &error);
};
