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

// A fresh folder under the system's temporary folder, removed with its
// contents on destruction.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The lines of a text file (none when it does not exist).
std::vector<std::string> readLines(const std::string &path);

// Waits up to timeoutMs for `line` to appear in the file; whether it did.
bool waitForLine(const std::string &path, const std::string &line, int timeoutMs);

} // namespace rdrload::testing
