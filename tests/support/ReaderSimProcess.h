#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace rdrload::testing {

// tools/reader-sim started as a child process: it serves a simulated reader
// on a pty whose device path it prints first. Stopped by its PID on stop()
// or destruction.
class ReaderSimProcess {
public:
    ReaderSimProcess(const std::string &executable, const std::vector<std::string> &arguments);
    ~ReaderSimProcess();
    ReaderSimProcess(const ReaderSimProcess &) = delete;
    ReaderSimProcess &operator=(const ReaderSimProcess &) = delete;

    // The pty device the host opens; empty when the start failed.
    const std::string &devicePath() const { return devicePath_; }
    pid_t pid() const { return pid_; }
    // SIGTERM, then waits for the exit (SIGKILL after 5 s); the exit status.
    int stop();

private:
    pid_t pid_ = -1;
    std::string devicePath_;
};

} // namespace rdrload::testing
