#pragma once

#include <string>
#include <vector>

namespace rdrload::testing {

// The simulated readers scripts/wine-tests starts before this test runs:
// one reader-sim per COM port of the Wine prefix, each with its own
// behaviour and journal. KLAV_WINE_JOURNALS names the folder of the
// journals (port<n>.log: "com7.log" would name the device COM7 itself)
// as a Windows path.
constexpr int kAckReaderPort = 7;    // answers the double break with ACK
constexpr int kSilentReaderPort = 8; // never answers
constexpr int kNakReaderPort = 9;    // answers NAK
constexpr int kOtherReaderPort = 10; // answers 0x41

// Whether the readers are there (the variable is set).
bool wineReadersPresent();

// Journal of the reader on `port`, read from line `from` on.
class ReaderJournal {
public:
    explicit ReaderJournal(int port);

    // The lines written since this object was made.
    std::vector<std::string> newLines() const;
    // Waits up to timeoutMs for `line` among the new lines.
    bool waitForNewLine(const std::string &line, int timeoutMs) const;

private:
    std::string path_;
    std::size_t from_;
};

} // namespace rdrload::testing
