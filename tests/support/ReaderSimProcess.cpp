#include "ReaderSimProcess.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace rdrload::testing {

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
        ssize_t got = ::read(fd, &c, 1);
        if (got <= 0)
            break;
        if (c == '\n')
            return line;
        line += c;
    }
    return std::string();
}

} // namespace

ReaderSimProcess::ReaderSimProcess(const std::string &executable,
                                   const std::vector<std::string> &arguments)
{
    int output[2];
    if (::pipe(output) != 0) {
        ADD_FAILURE() << "pipe failed";
        return;
    }
    std::vector<std::string> all{executable};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    for (std::string &argument : all)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, output[0]);
    posix_spawn_file_actions_addclose(&actions, output[1]);
    int spawned = ::posix_spawn(&pid_, executable.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(output[1]);
    if (spawned != 0) {
        pid_ = -1;
        ::close(output[0]);
        ADD_FAILURE() << "cannot start " << executable;
        return;
    }
    devicePath_ = readFirstLine(output[0]);
    ::close(output[0]);
    if (devicePath_.empty())
        ADD_FAILURE() << executable << " printed no device path";
}

ReaderSimProcess::~ReaderSimProcess()
{
    stop();
}

int ReaderSimProcess::stop()
{
    if (pid_ <= 0)
        return -1;
    ::kill(pid_, SIGTERM);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_ = -1;
    return status;
}

} // namespace rdrload::testing
