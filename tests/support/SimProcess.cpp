#include "SimProcess.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

// Reads the child's first output line, waiting at most 10 s for it.
std::string readFirstLine(int fd)
{
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd waiter{fd, POLLIN, 0};
        if (::poll(&waiter, 1, 100) <= 0)
            continue;
        char c = 0;
        if (::read(fd, &c, 1) != 1)
            break;
        if (c == '\n')
            return line;
        line += c;
    }
    return std::string();
}

} // namespace

std::string SimProcess::terminalSim()
{
    const char *path = std::getenv("TERMINAL_SIM");
    return path ? path : "terminal-sim";
}

SimProcess::SimProcess(const std::string &executable, const std::vector<std::string> &arguments)
{
    int output[2];
    if (::pipe(output) != 0)
        throw std::runtime_error("pipe failed");
    std::vector<std::string> all{executable};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    for (std::string &argument : all)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    // posix_spawn rather than fork: the tests that start a simulator often
    // run threads already.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, output[0]);
    posix_spawn_file_actions_addclose(&actions, output[1]);
    const int spawned =
        ::posix_spawn(&pid_, executable.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(output[1]);
    if (spawned != 0) {
        pid_ = -1;
        ::close(output[0]);
        throw std::runtime_error("cannot start " + executable);
    }
    slavePath_ = readFirstLine(output[0]);
    ::close(output[0]);
    if (slavePath_.empty()) {
        stop();
        throw std::runtime_error(executable + " printed no pty path");
    }
}

SimProcess::~SimProcess()
{
    stop();
}

int SimProcess::wait(int timeoutMs)
{
    if (pid_ < 0)
        return status_;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return status_;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
}

int SimProcess::stop(int timeoutMs)
{
    if (pid_ < 0)
        return status_;
    ::kill(pid_, SIGTERM);
    const int status = wait(timeoutMs);
    if (pid_ >= 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
        status_ = -1;
    }
    return status;
}
