#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rdrload::testing {

// This test program run again as a debuggee of the calling thread, with
// `arguments` (a gtest filter, say): what a debugger attached to it sees of
// the debugger message stream, every OutputDebugStringA/W text in order,
// its exit code and what it wrote to its standard output and error. The
// run is over when the constructor returns: the debuggee exited, or was
// ended after timeoutMs.
class DebuggeeRun {
public:
    DebuggeeRun(const std::string &arguments, uint32_t timeoutMs);

    // Whether the program started, and whether it ended by itself in time.
    bool started() const { return started_; }
    bool exited() const { return exited_; }
    uint32_t exitCode() const { return exitCode_; }
    // Each text of the debugger stream, without its terminating zero.
    const std::vector<std::string> &debugStrings() const { return debugStrings_; }
    const std::string &output() const { return output_; }

private:
    bool started_ = false;
    bool exited_ = false;
    uint32_t exitCode_ = 0;
    std::vector<std::string> debugStrings_;
    std::string output_;
};

} // namespace rdrload::testing
