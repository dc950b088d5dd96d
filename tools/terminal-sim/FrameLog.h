#pragma once
// Record of every frame a simulated terminal received and sent, with notes on
// what it made of them. Each line goes to an optional sink as it is written
// (a file, a test) and the latest lines are kept in memory.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

class FrameLog {
public:
    using Sink = std::function<void(const std::string &line)>;

    void setSink(Sink sink) { sink_ = std::move(sink); }

    // "H>T <what> <n>: <hex>" for a host frame, "T>H ..." for a reply; long
    // frames show their first kHexShown bytes and the count of the rest.
    void frame(bool fromHost, const std::string &what, const uint8_t *data, size_t size);
    // "-- <text>"
    void note(const std::string &text);

    const std::deque<std::string> &lines() const { return lines_; }
    // True when some kept line contains text.
    bool contains(const std::string &text) const;

    static constexpr size_t kHexShown = 48;
    static constexpr size_t kLinesKept = 10000;

private:
    void add(std::string line);

    Sink sink_;
    std::deque<std::string> lines_;
};
