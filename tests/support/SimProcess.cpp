#include "SimProcess.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

std::string SimProcess::executable()
{
    const char *path = std::getenv("TERMINAL_SIM");
    return path ? path : "terminal-sim";
}

SimProcess::SimProcess(const std::vector<std::string> &args)
{
    int out[2];
    if (pipe(out) != 0)
        throw std::runtime_error("pipe");
    std::string program = executable();
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        std::vector<char *> argv{const_cast<char *>(program.c_str())};
        for (const std::string &arg : args)
            argv.push_back(const_cast<char *>(arg.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    // The first line is the slave path.
    char c;
    pollfd pfd{out[0], POLLIN, 0};
    while (poll(&pfd, 1, 10000) > 0 && read(out[0], &c, 1) == 1 && c != '\n')
        slavePath_ += c;
    close(out[0]);
    if (slavePath_.empty()) {
        stop();
        throw std::runtime_error("terminal-sim did not start");
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
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
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
    kill(pid_, SIGTERM);
    int status = wait(timeoutMs);
    if (pid_ >= 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
        status_ = -1;
    }
    return status;
}
