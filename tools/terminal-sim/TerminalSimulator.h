#pragma once
// terminal-sim's service loop: the protocol engine behind a pty, with the
// received databases and the frame log written to files.

#include "MisbehaviourPlan.h"
#include "TerminalEngine.h"

#include <cstdio>

class PtyLink;
#include <string>

struct SimulatorSettings {
    std::string outPath; // "%n" stands for the load number
    std::string logPath;
    std::string devicePath; // serve this serial device instead of a new pty
    int loads = 0;          // stop after this many received loads; 0: until a signal
    int pad = TerminalEngine::kAnyPad;
    unsigned quietMs = 300; // silence that ends a command of unknown length
    MisbehaviourPlan plan;
};

class TerminalSimulator {
public:
    explicit TerminalSimulator(SimulatorSettings settings);
    ~TerminalSimulator();
    TerminalSimulator(const TerminalSimulator &) = delete;
    TerminalSimulator &operator=(const TerminalSimulator &) = delete;

    // Serves until SIGTERM, SIGINT, the load count or a hang-up; the slave
    // path is the first line written to announce. Returns the exit status.
    int run(FILE *announce);

    // outPath with "%n" replaced by the load number.

private:
    // Lets the host read the last reply: returns once the host has closed
    // the port, a stop signal came, or a few seconds passed.
    void waitForHostClose(PtyLink &link, int signals, int hostOpens);
    bool writeOutput(const CompletedLoad &load);
    void writeLogLine(const std::string &line);

    SimulatorSettings settings_;
    TerminalEngine engine_;
    FILE *log_ = nullptr;
    long long startMs_ = 0;
};
