#pragma once

#include "link/TraceSink.h"

#include <mutex>
#include <string>
#include <vector>

namespace rdrload::testing {

// Keeps every trace text, in order, for the test to read back. Thread-safe.
class RecordingTraceSink : public TraceSink {
public:
    void trace(const char *text) override;

    std::vector<std::string> texts() const;
    // All texts one after the other, as the trace lines read.
    std::string joined() const;
    // How many times exactly this text was written.
    int count(const std::string &text) const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<std::string> texts_;
};

} // namespace rdrload::testing
