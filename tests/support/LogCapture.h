#pragma once
// Switches the diagnostic log on into a fresh folder for one test and reads
// its lines back: whole, or as messages (the part after the date, depth and
// marker).

#include "TempFolder.h"

#include <string>
#include <vector>

class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    // Every message written so far, without time stamp, indentation or marker.
    std::vector<std::string> messages() const;
    // How many messages equal text exactly.
    int count(const std::string &text) const;
    bool has(const std::string &text) const { return count(text) > 0; }
    // Index of the first message equal to text at or after from, or -1.
    int find(const std::string &text, int from = 0) const;

    // Every line of the file as written, line ends removed.
    std::vector<std::string> lines() const;
    // How many lines contain text anywhere.
    int countContaining(const std::string &text) const;

private:
    rdrload::testing::TempFolder folder_{"klav-log-"};
};
