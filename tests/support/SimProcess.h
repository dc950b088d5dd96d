#pragma once
// Runs terminal-sim as a child process for one test: reads the pty path from
// its first output line, stops it by its PID.

#include <string>
#include <vector>

class SimProcess {
public:
    // Path of the terminal-sim executable (from the TERMINAL_SIM variable
    // that the test registration sets).
    static std::string executable();

    explicit SimProcess(const std::vector<std::string> &args);
    ~SimProcess();  // SIGTERM, then waits
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    const std::string &slavePath() const { return slavePath_; }
    int pid() const { return pid_; }

    // Sends SIGTERM and returns the exit status (-1 if it did not exit
    // normally within timeoutMs; it is then killed).
    int stop(int timeoutMs = 10000);
    // Waits for the process to exit by itself; -1 on time-out.
    int wait(int timeoutMs);

private:
    int pid_ = -1;
    int status_ = -1;
    std::string slavePath_;
};
