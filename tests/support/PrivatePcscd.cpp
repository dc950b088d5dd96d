#include "PrivatePcscd.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kExitUnavailable = 77;
constexpr auto kReadyWithin = std::chrono::seconds(10);
constexpr auto kStopWithin = std::chrono::seconds(10);

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string scriptPath()
{
    const char *path = std::getenv("PCSCD_PRIVATE");
    return path ? path : "";
}

// Waits for the child to end, up to the deadline; true with its status.
bool waitForExit(int pid, Clock::time_point deadline, int &status)
{
    while (true) {
        int result = waitpid(pid, &status, WNOHANG);
        if (result == pid)
            return true;
        if (result < 0 && errno != EINTR)
            return false;
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// Whether something accepts connections on the Unix socket at path (the
// socket file appears a moment before the daemon listens on it).
bool acceptsConnections(const std::string &path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    bool connected = connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}

} // namespace

PrivatePcscd &PrivatePcscd::shared()
{
    static PrivatePcscd instance;
    return instance;
}

PrivatePcscd::PrivatePcscd()
{
    setenv("PCSCLITE_CSOCK_NAME", socketPath().c_str(), 1);
}

PrivatePcscd::~PrivatePcscd()
{
    stop();
}

std::string PrivatePcscd::readerFile(size_t index) const
{
    return folder() + "/reader-" + std::to_string(index) + ".conf";
}

std::string PrivatePcscd::readerLog(size_t index) const
{
    return folder() + "/reader-" + std::to_string(index) + ".log";
}

std::string PrivatePcscd::readerOutput(size_t index, int load) const
{
    return folder() + "/reader-" + std::to_string(index) + "-load-" + std::to_string(load) + ".db";
}

std::string PrivatePcscd::readerLogText(size_t index) const
{
    return readFile(readerLog(index));
}

std::string PrivatePcscd::daemonLog() const
{
    return readFile(folder() + "/pcscd.log");
}

bool PrivatePcscd::start(const std::vector<TestReaderSetup> &readers, std::string &error)
{
    unavailable_ = false;
    if (!stop()) {
        error = "the earlier pcscd did not stop";
        return false;
    }
    if (scriptPath().empty()) {
        error = "PCSCD_PRIVATE is not set";
        return false;
    }
    std::vector<std::string> args{"/bin/bash", scriptPath(), "run", folder()};
    for (size_t i = 0; i < readers.size(); ++i) {
        std::error_code ignored;
        std::filesystem::remove(readerLog(i), ignored);
        std::ofstream file(readerFile(i), std::ios::trunc);
        file << "name = " << readers[i].name << "\n"
             << "log = " << readerLog(i) << "\n"
             << "out = " << folder() << "/reader-" << i << "-load-%n.db\n"
             << readers[i].settings << "\n";
        if (!file) {
            error = "cannot write " + readerFile(i);
            return false;
        }
        args.push_back(readerFile(i));
    }

    std::string logPath = folder() + "/pcscd.log";
    int pid = fork();
    if (pid < 0) {
        error = std::string("fork: ") + std::strerror(errno);
        return false;
    }
    if (pid == 0) {
        int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int none = open("/dev/null", O_RDONLY);
        if (log >= 0) {
            dup2(log, STDOUT_FILENO);
            dup2(log, STDERR_FILENO);
        }
        if (none >= 0)
            dup2(none, STDIN_FILENO);
        std::vector<char *> argv;
        for (std::string &arg : args)
            argv.push_back(&arg[0]);
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    pid_ = pid;

    // Ready once the daemon's pid file names our child (the script replaces
    // itself with pcscd, keeping the PID) and its socket takes connections.
    std::string pidFile = folder() + "/run/pcscd/pcscd.pid";
    auto deadline = Clock::now() + kReadyWithin;
    while (Clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            unavailable_ = WIFEXITED(status) && WEXITSTATUS(status) == kExitUnavailable;
            error = "pcscd ended before it was ready:\n" + daemonLog();
            return false;
        }
        if (std::atoi(readFile(pidFile).c_str()) == pid_ && acceptsConnections(socketPath()))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    stop();
    error = "pcscd was not ready within 10 s:\n" + daemonLog();
    return false;
}

bool PrivatePcscd::stop()
{
    if (pid_ <= 0)
        return true;
    int pid = pid_;
    pid_ = -1;
    kill(pid, SIGTERM);
    int status = 0;
    if (waitForExit(pid, Clock::now() + kStopWithin, status)) {
        return (WIFEXITED(status) && WEXITSTATUS(status) == 0) ||
               (WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    }
    kill(pid, SIGKILL);
    waitForExit(pid, Clock::now() + kStopWithin, status);
    return false;
}

void PrivatePcscdEnvironment::SetUp()
{
    PrivatePcscd &pcscd = PrivatePcscd::shared();
    std::string error;
    if (pcscd.start({{"Velantra Probe", ""}}, error)) {
        pcscd.stop();
        return;
    }
    const char *ci = std::getenv("CI");
    if (pcscd.unavailable() && !(ci && std::string(ci) == "true")) {
        std::printf("SKIPPED: a private pcscd cannot run here: %s\n", error.c_str());
        std::fflush(stdout);
        std::exit(kExitUnavailable); // static objects clean up their folders
    }
    FAIL() << "a private pcscd does not start: " << error;
}
