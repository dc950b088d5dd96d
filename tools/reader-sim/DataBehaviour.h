#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace readersim {

// A misbehaviour of the data exchanges (upload '6', download '5', test
// mode 'T'), on demand. Silence, Nak and WrongByte replace the reader's
// answer number `step` of the exchange (1 is the answer to the request
// byte) and end the exchange; ShortLength cuts the last byte off a length
// field the reader sends, ShortData the last byte off the data or report.
struct DataFault {
    enum class Kind { None, Silence, Nak, ShortLength, ShortData, WrongByte };
    Kind kind = Kind::None;
    int step = 1;
};

// What the simulated reader holds and answers in the data exchanges.
struct DataBehaviour {
    // The block uploaded for each data-type letter; a letter without one
    // gets an empty answer (length 0).
    std::map<uint8_t, std::vector<uint8_t>> uploads;
    // Letters a download may carry (others are refused with NAK); empty:
    // every letter.
    std::string acceptedLetters;
    // Where the data of a download is written (nothing when empty).
    std::string receivedPath;
    // The test mode's status byte and report.
    uint8_t testStatus = 0;
    std::vector<uint8_t> testReport;
    DataFault fault;
};

// Reads one command-line option of the data exchanges into `behaviour`.
// Returns false when `name` is not one of them; sets `error` when its value
// is wrong.
bool parseDataOption(const std::string &name, const std::string &value, DataBehaviour &behaviour,
                     std::string &error);

// The usage lines of those options.
const char *dataOptionsUsage();

} // namespace readersim
