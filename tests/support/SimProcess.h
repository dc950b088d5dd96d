#pragma once
// A simulator executable (terminal-sim, reader-sim) run as a child process for
// one test: it serves a pty whose path it prints as its first output line.
// Stopped by its PID on stop() or destruction; the constructor throws
// std::runtime_error when the simulator cannot start or prints no path.

#include <string>
#include <sys/types.h>
#include <vector>

class SimProcess {
public:
    // Path of the terminal-sim executable (from the TERMINAL_SIM variable
    // that the test registration sets).
    static std::string terminalSim();

    SimProcess(const std::string &executable, const std::vector<std::string> &arguments);
    ~SimProcess(); // stop()
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    // The pty device the host opens.
    const std::string &slavePath() const { return slavePath_; }
    pid_t pid() const { return pid_; }

    // Sends SIGTERM and returns the exit status (-1 if it did not exit
    // normally within timeoutMs; it is then killed).
    int stop(int timeoutMs = 10000);
    // Waits for the process to exit by itself; -1 on time-out.
    int wait(int timeoutMs);

private:
    pid_t pid_ = -1;
    int status_ = -1;
    std::string slavePath_;
};
