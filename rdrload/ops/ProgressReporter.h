#pragma once

#include "api/rdrload.h"

#include <cstdint>

namespace rdrload {

// The progress record of one running operation and the rule for making
// reports. Lives in the operation's frame: the record handed to the callback
// and the threshold counter behind nextReport both belong to it.
//
// report() is made whenever a callback is present. reportData() is for the
// data-progress reports only: it is made when done has reached the counter,
// which the library leaves at 0 and only the callback may raise.
class ProgressReporter {
public:
    // Takes the calling thread's id once; done and remaining start as given.
    ProgressReporter(ProgressCallback callback, uint32_t done, uint32_t remaining);
    ProgressReporter(const ProgressReporter &) = delete;
    ProgressReporter &operator=(const ProgressReporter &) = delete;

    void setDone(uint32_t done) { info_.done = done; }
    void setRemaining(uint32_t remaining) { info_.remaining = remaining; }
    void setCounts(uint32_t done, uint32_t remaining);
    uint32_t done() const { return info_.done; }
    uint32_t remaining() const { return info_.remaining; }

    void report(const char *text);
    void reportData(const char *text);

private:
    ProgressCallback callback_;
    uint32_t threshold_ = 0;
    ProgressInfo info_{};
};

} // namespace rdrload
