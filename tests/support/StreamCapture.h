#pragma once

#include <cstdio>
#include <string>

namespace rdrload::testing {

// What the process writes to one of its standard streams (stdout or
// stderr, its own and its libraries' writes alike), collected through a
// file from construction until release() or destruction.
class StreamCapture {
public:
    explicit StreamCapture(FILE *stream);
    ~StreamCapture();
    StreamCapture(const StreamCapture &) = delete;
    StreamCapture &operator=(const StreamCapture &) = delete;

    // Everything written so far; the capture goes on.
    std::string text();
    // Gives the stream back (so that what comes next, a test's own failure
    // messages included, shows again) and returns everything written.
    std::string release();

private:
    FILE *stream_;
    int saved_ = -1;
    FILE *file_ = nullptr;
};

} // namespace rdrload::testing
