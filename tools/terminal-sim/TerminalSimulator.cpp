#include "TerminalSimulator.h"

#include "ReceivedDatabase.h"

#include "FrameAssembler.h"
#include "PtyLink.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <utility>
#include <vector>

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

constexpr int kReplyWriteTimeoutMs = 2000;
// After its last load the simulator waits this long at most for the host to
// close the port: hanging up flushes the host's unread input, and with it
// the last reply.
constexpr int kHostCloseWaitMs = 5000;

long long nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// A signal file descriptor for the signals that end the service.
int stopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    return signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
}

// Waits ms milliseconds unless a stop signal comes first (then false).
bool pause(int signals, unsigned ms)
{
    long long end = nowMs() + ms;
    for (long long left = ms; left > 0; left = end - nowMs()) {
        pollfd pfd{signals, POLLIN, 0};
        int ready = poll(&pfd, 1, int(left));
        if (ready > 0)
            return false;
    }
    return true;
}

} // namespace

TerminalSimulator::TerminalSimulator(SimulatorSettings settings)
    : settings_(std::move(settings)), engine_(settings_.plan, settings_.pad)
{
}

TerminalSimulator::~TerminalSimulator()
{
    if (log_)
        std::fclose(log_);
}

void TerminalSimulator::writeLogLine(const std::string &line)
{
    if (!log_)
        return;
    long long ms = nowMs() - startMs_;
    std::fprintf(log_, "%6lld.%03lld %s\n", ms / 1000, ms % 1000, line.c_str());
    std::fflush(log_);
}

bool TerminalSimulator::writeOutput(const CompletedLoad &load)
{
    std::string error;
    if (writeReceivedDatabase(load, settings_.outPath, engine_.log(), error))
        return true;
    std::fprintf(stderr, "terminal-sim: cannot write %s\n", error.c_str());
    return false;
}

int TerminalSimulator::run(FILE *announce)
{
    startMs_ = nowMs();
    if (!settings_.logPath.empty()) {
        log_ = std::fopen(settings_.logPath.c_str(), "w");
        if (!log_) {
            std::fprintf(stderr, "terminal-sim: cannot write the log %s: %s\n",
                         settings_.logPath.c_str(), std::strerror(errno));
            return 1;
        }
        engine_.log().setSink([this](const std::string &line) { writeLogLine(line); });
    }
    int signals = stopSignals();
    PtyLink link;
    std::string error;
    const bool opened = settings_.devicePath.empty() ? link.open(error)
                                                     : link.openDevice(settings_.devicePath, error);
    if (signals < 0 || !opened) {
        std::fprintf(stderr, "terminal-sim: %s\n", signals < 0 ? "signalfd failed" : error.c_str());
        return 1;
    }
    engine_.log().note("terminal on " + link.slavePath());
    std::fprintf(announce, "%s\n", link.slavePath().c_str());
    std::fflush(announce);

    FrameAssembler assembler;
    std::vector<uint8_t> buffer(65536), command;
    long long lastByteMs = 0;
    int status = 0;
    bool serving = true;
    bool loadsDone = false;
    int hostOpens = 0; // host opens of the slave not yet closed

    // Answers one command; false when the service ends with it.
    auto serve = [&](const std::vector<uint8_t> &cmd) {
        EngineReply reply = engine_.handleCommand(cmd);
        if (reply.hangUp) {
            link.hangUp();
            return false;
        }
        if (reply.delayMs && !pause(signals, reply.delayMs))
            return false;
        // A split reply goes out as two writes with the pause between them.
        const size_t first = reply.splitAt ? reply.splitAt : reply.bytes.size();
        bool taken =
            reply.bytes.empty() || link.writeAll(reply.bytes.data(), first, kReplyWriteTimeoutMs);
        if (taken && first < reply.bytes.size()) {
            if (!pause(signals, reply.splitDelayMs))
                return false;
            taken = link.writeAll(reply.bytes.data() + first, reply.bytes.size() - first,
                                  kReplyWriteTimeoutMs);
        }
        if (!taken)
            engine_.log().note("reply not taken by the host within the write time-out");
        CompletedLoad load;
        while (engine_.takeCompletedLoad(load)) {
            if (!settings_.outPath.empty())
                writeOutput(load);
            if (settings_.loads > 0 && engine_.completedLoads() >= settings_.loads) {
                loadsDone = true;
                return false;
            }
        }
        return true;
    };

    while (serving) {
        int timeout = -1;
        if (assembler.pending() > 0)
            timeout = int(std::max(0LL, lastByteMs + settings_.quietMs - nowMs()));
        pollfd fds[3] = {
            {signals, POLLIN, 0}, {link.masterFd(), POLLIN, 0}, {link.watchFd(), POLLIN, 0}};
        int ready = poll(fds, link.watchFd() >= 0 ? 3 : 2, timeout);
        if (ready < 0 && errno != EINTR) {
            status = 1;
            break;
        }
        if (fds[0].revents) {
            engine_.log().note("stopped by a signal");
            break;
        }
        if (fds[2].revents) {
            int opens = 0, closes = 0;
            link.takePortEvents(opens, closes);
            for (int i = 0; i < opens; ++i)
                engine_.log().note("port opened by the host");
            for (int i = 0; i < closes; ++i)
                engine_.log().note("port closed by the host");
            hostOpens += opens - closes;
        }
        if (fds[1].revents) {
            ssize_t n = link.readSome(buffer.data(), buffer.size());
            if (n < 0 || (n == 0 && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)))) {
                engine_.log().note("the line failed");
                status = 1;
                break;
            }
            if (n > 0) {
                assembler.append(buffer.data(), size_t(n));
                lastByteMs = nowMs();
            }
        }
        while (serving && assembler.takeComplete(command))
            serving = serve(command);
        if (serving && assembler.pending() > 0 && nowMs() - lastByteMs >= settings_.quietMs &&
            assembler.takeQuiet(command))
            serving = serve(command);
    }
    if (loadsDone && hostOpens > 0)
        waitForHostClose(link, signals, hostOpens);
    link.hangUp();
    close(signals);
    return status;
}

void TerminalSimulator::waitForHostClose(PtyLink &link, int signals, int hostOpens)
{
    long long end = nowMs() + kHostCloseWaitMs;
    std::vector<uint8_t> discard(4096);
    while (hostOpens > 0) {
        long long left = end - nowMs();
        if (left <= 0) {
            engine_.log().note("the host kept the port open after the last load");
            return;
        }
        pollfd fds[3] = {
            {signals, POLLIN, 0}, {link.watchFd(), POLLIN, 0}, {link.masterFd(), POLLIN, 0}};
        if (poll(fds, 3, int(left)) < 0 && errno != EINTR)
            return;
        if (fds[0].revents)
            return;
        if (fds[1].revents) {
            int opens = 0, closes = 0;
            link.takePortEvents(opens, closes);
            hostOpens += opens - closes;
            if (closes > 0)
                engine_.log().note("port closed by the host");
        }
        // Bytes after the last load are not served; reading them keeps poll quiet.
        if (fds[2].revents && link.readSome(discard.data(), discard.size()) < 0)
            return;
    }
}
