#pragma once
// A private pcscd for one test process, serving test readers (the
// klav_test_reader driver) from configuration files the test writes. The
// PC/SC client library keeps the first socket path a process uses, so the
// process has one work folder and one socket path; pcscd can be restarted
// there with other readers between tests. pcscd is started through
// "scripts/pcscd-private run" as a child of the test and stopped by its PID.

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct TestReaderSetup {
    std::string name;     // the name pcscd lists (followed by " NN SS")
    std::string settings; // further lines of the reader's configuration
};

class PrivatePcscd {
public:
    // The one instance of this process. Its creation points the PC/SC client
    // at the private socket, so it must come before the first PC/SC call.
    static PrivatePcscd &shared();
    ~PrivatePcscd();
    PrivatePcscd(const PrivatePcscd &) = delete;
    PrivatePcscd &operator=(const PrivatePcscd &) = delete;

    // Writes reader i's configuration to readerFile(i) ("name", a frame log
    // readerLog(i), databases to readerOutput(i, n), then its settings) and
    // starts pcscd with these readers in this order, after stopping a
    // running one. False with the reason in error; unavailable() is then
    // true when pcscd cannot run on this machine at all.
    bool start(const std::vector<TestReaderSetup> &readers, std::string &error);
    // SIGTERM and wait; true when pcscd ended within 10 s by that signal or
    // with status 0. True as well when nothing was running.
    bool stop();
    bool running() const { return pid_ > 0; }
    int pid() const { return pid_; }
    bool unavailable() const { return unavailable_; }

    const std::string &folder() const { return folder_.path(); }
    std::string socketPath() const { return folder() + "/run/pcscd/pcscd.comm"; }
    std::string readerFile(size_t index) const;
    std::string readerLog(size_t index) const;
    std::string readerOutput(size_t index, int load) const;
    // The text of a reader's frame log so far (empty if there is none).
    std::string readerLogText(size_t index) const;
    // pcscd's own output of the current or last run.
    std::string daemonLog() const;

private:
    PrivatePcscd();

    // Under /tmp itself: the socket path inside must stay within the socket
    // address's length.
    rdrload::testing::TempFolder folder_{"klav-pcscd-", "/tmp"};
    int pid_ = -1;
    bool unavailable_ = false;
};

// Checks once per process that a private pcscd can run: the whole test
// program is skipped (exit status 77) where it cannot, except in CI
// (CI=true), where that is a failure.
class PrivatePcscdEnvironment : public ::testing::Environment {
public:
    void SetUp() override;
};
