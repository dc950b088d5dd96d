// reader-sim: a simulated card reader on a pseudo-terminal, for end-to-end
// runs of rdrload. It prints the device to open on its first output line
// and serves the host until it is stopped with SIGTERM or SIGINT.

#include "BootLoaderArguments.h"
#include "DevicePort.h"
#include "PtyPort.h"
#include "ReaderEngine.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>

using namespace readersim;

namespace {

volatile std::sig_atomic_t g_stop = 0;

void requestStop(int)
{
    g_stop = 1;
}

void installStopHandlers()
{
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: poll() must return
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

void printUsage(std::FILE *out)
{
    std::fputs("usage: reader-sim [--wake ack|nak|none|0xHH] [--quiet-ms N] [--link PATH]\n"
               "                  [--record FILE] [--output FILE] [--signature ANSWER]\n"
               "                  [--answer N=ANSWER] [--restarts N] [--after-request 0xHH]\n"
               "                  [--app-block N] [--end-quiet-ms N]\n"
               "  Serves a simulated reader on a new pseudo-terminal and prints its device\n"
               "  path on the first line. Stop it with SIGTERM or Ctrl-C.\n"
               "  --wake      answer to the double break (default ack); none stays silent\n"
               "  --quiet-ms  quiet time after the host opens the port that stands for the\n"
               "              double break (default 150)\n"
               "  --link      also make PATH a symbolic link to the device (for example\n"
               "              /dev/COM7), removed on exit\n"
               "  --device    serve the serial device PATH (a USB gadget's /dev/ttyGS0)\n"
               "              instead of a new pseudo-terminal; needs --host-node\n"
               "  --host-node the host's end of that line (/dev/ttyACM0): its opens and\n"
               "              closes stand for the host's presence, which the gadget's\n"
               "              tty does not show; --link then links to this node\n"
               "  --record    append every event and byte exchanged to FILE\n"
               "  Application ('1') and firmware ('0') downloads:\n"
               "  --output    write each received image to FILE (whole, when the signature\n"
               "              is answered)\n"
               "  --signature answer to the signature check: ack (default), nak, none, 0xHH\n"
               "  --answer    replace answer N of a download (1: the request, then each\n"
               "              acknowledgement in turn, the signature last) with ack, nak,\n"
               "              none or 0xHH; may be repeated\n"
               "  --restarts  answer 'f' (restarting) to the first N firmware requests\n"
               "  --after-request  send this byte after acknowledging a firmware request\n"
               "              (e.g. 0x78 for 'x') instead of taking the transfer\n"
               "  --app-block application block size, 128 (default) or 64 for the slow\n"
               "              variant: where a short image's 2nd and 4th blocks end\n"
               "  --end-quiet-ms  host quiet time after image data that ends the image\n"
               "              (default 300)\n",
               out);
    std::fputs(dataOptionsUsage(), out);
    std::fputs(UpdateBehaviour::usage(), out);
    std::fputs(BootLoaderArguments::usage(), out);
}

struct Options {
    ReaderBehaviour behaviour;
    DownloadBehaviour download;
    std::string linkPath;
    std::string recordPath;
    std::string devicePath;
    std::string hostNode;
    BootLoaderArguments bootLoader;
};

bool parseWake(const std::string &text, int &answer)
{
    if (text == "ack")
        answer = ReaderEngine::kAck;
    else if (text == "nak")
        answer = ReaderEngine::kNak;
    else if (text == "none")
        answer = -1;
    else {
        char *end = nullptr;
        long value = std::strtol(text.c_str(), &end, 0);
        if (end == text.c_str() || *end != '\0' || value < 0 || value > 255)
            return false;
        answer = static_cast<int>(value);
    }
    return true;
}

bool parseNumber(const std::string &text, unsigned long &value)
{
    char *end = nullptr;
    value = std::strtoul(text.c_str(), &end, 0);
    return end != text.c_str() && *end == '\0';
}

// "N=ANSWER" for --answer.
bool parseAnswer(const std::string &text, std::map<int, int> &answers)
{
    const std::size_t equals = text.find('=');
    unsigned long number = 0;
    int answer = 0;
    if (equals == std::string::npos || !parseNumber(text.substr(0, equals), number) || number < 1 ||
        !parseWake(text.substr(equals + 1), answer))
        return false;
    answers[static_cast<int>(number)] = answer;
    return true;
}

bool parseDownloadOption(const std::string &name, const std::string &value,
                         DownloadBehaviour &download, bool &known)
{
    known = true;
    unsigned long number = 0;
    if (name == "--output") {
        download.outputPath = value;
        return true;
    }
    if (name == "--signature")
        return parseWake(value, download.signatureAnswer);
    if (name == "--answer")
        return parseAnswer(value, download.answers);
    if (name == "--after-request")
        return parseWake(value, download.afterFirmwareRequest);
    if (name == "--restarts" || name == "--app-block" || name == "--end-quiet-ms") {
        if (!parseNumber(value, number))
            return false;
        if (name == "--restarts")
            download.restarts = static_cast<int>(number);
        else if (name == "--app-block")
            download.applicationBlock = number == 64 ? 64 : 128;
        else
            download.endQuietMs = static_cast<uint32_t>(number);
        return true;
    }
    known = false;
    return true;
}

bool parseOptions(int argc, char **argv, Options &options)
{
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (name == "--help") {
            printUsage(stdout);
            std::exit(0);
        }
        if (i + 1 >= argc)
            return false;
        std::string value = argv[++i];
        bool known = false;
        if (!parseDownloadOption(name, value, options.download, known))
            return false;
        if (known)
            continue;
        if (name == "--wake") {
            if (!parseWake(value, options.behaviour.wakeAnswer))
                return false;
        } else if (name == "--quiet-ms") {
            char *end = nullptr;
            unsigned long ms = std::strtoul(value.c_str(), &end, 10);
            if (end == value.c_str() || *end != '\0')
                return false;
            options.behaviour.quietMs = static_cast<uint32_t>(ms);
        } else if (name == "--link") {
            options.linkPath = value;
        } else if (name == "--record") {
            options.recordPath = value;
        } else if (name == "--device") {
            options.devicePath = value;
        } else if (name == "--host-node") {
            options.hostNode = value;
        } else if (std::string error; parseDataOption(name, value, options.behaviour.data, error)) {
            if (!error.empty()) {
                std::fprintf(stderr, "reader-sim: %s\n", error.c_str());
                return false;
            }
        } else if (UpdateBehaviour::isOption(name)) {
            if (!options.behaviour.update.takeOption(name, value))
                return false;
        } else if (BootLoaderArguments::isOption(name)) {
            if (!options.bootLoader.take(name, value))
                return false;
        } else {
            return false;
        }
    }
    if (options.devicePath.empty() != options.hostNode.empty())
        return false;
    if (options.bootLoader.enabled())
        options.behaviour.bootLoader = options.bootLoader.options();
    return options.bootLoader.complete();
}

// Removes the link on exit, if it still points at our device.
class DeviceLink {
public:
    DeviceLink(std::string path, const std::string &target) : path_(std::move(path))
    {
        ::unlink(path_.c_str());
        made_ = ::symlink(target.c_str(), path_.c_str()) == 0;
        target_ = target;
    }
    ~DeviceLink()
    {
        char points[4096];
        ssize_t length = ::readlink(path_.c_str(), points, sizeof points - 1);
        if (made_ && length > 0 && std::string(points, static_cast<std::size_t>(length)) == target_)
            ::unlink(path_.c_str());
    }
    bool made() const { return made_; }

private:
    std::string path_;
    std::string target_;
    bool made_ = false;
};

using Clock = std::chrono::steady_clock;

int millisecondsUntil(Clock::time_point when)
{
    auto left = std::chrono::ceil<std::chrono::milliseconds>(when - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

template <typename Port> void serve(Port &port, ReaderEngine &engine, uint32_t endQuietMs)
{
    bool hostPresent = false;
    std::optional<Clock::time_point> quietEnd;
    const auto quiet = std::chrono::milliseconds(engine.behaviour().quietMs);
    Clock::time_point lastInput = Clock::now();
    const auto endQuiet = std::chrono::milliseconds(endQuietMs);
    while (!g_stop) {
        int timeout = 100;
        if (quietEnd)
            timeout = millisecondsUntil(*quietEnd);
        if (engine.awaitingEndOfData())
            timeout = std::min(timeout, millisecondsUntil(lastInput + endQuiet));
        typename Port::Readiness ready = port.wait(timeout);
        if (ready.interrupted)
            continue;
        if (!ready.hostPresent) {
            // What the host wrote before it closed comes first.
            Bytes last = ready.readable ? port.readAvailable() : Bytes();
            if (hostPresent) {
                engine.received(last);
                hostPresent = false;
                quietEnd.reset();
                engine.hostClosed();
            }
            // Hang-up shows at once and for as long as the port is closed.
            if (last.empty())
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        if (!hostPresent) {
            hostPresent = true;
            engine.hostOpened();
            quietEnd = Clock::now() + quiet;
        }
        if (ready.readable) {
            lastInput = Clock::now();
            engine.received(port.readAvailable());
            if (engine.awaitingQuiet())
                quietEnd = Clock::now() + quiet;
        }
        if (quietEnd && Clock::now() >= *quietEnd) {
            quietEnd.reset();
            engine.quietTimeElapsed();
        }
        if (engine.awaitingEndOfData() && Clock::now() >= lastInput + endQuiet)
            engine.dataEnded();
        Bytes out = engine.takeOutput();
        if (!out.empty())
            port.writeAll(out);
    }
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    if (!parseOptions(argc, argv, options)) {
        printUsage(stderr);
        return 64;
    }
    installStopHandlers();

    std::unique_ptr<PtyPort> port;
    std::unique_ptr<DevicePort> device;
    try {
        if (options.devicePath.empty())
            port = std::make_unique<PtyPort>();
        else
            device = std::make_unique<DevicePort>(options.devicePath, options.hostNode);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "reader-sim: %s\n", error.what());
        return 1;
    }

    std::ofstream record;
    if (!options.recordPath.empty()) {
        record.open(options.recordPath, std::ios::app);
        if (!record) {
            std::fprintf(stderr, "reader-sim: cannot write %s\n", options.recordPath.c_str());
            return 1;
        }
    }
    std::unique_ptr<DeviceLink> link;
    if (!options.linkPath.empty()) {
        link = std::make_unique<DeviceLink>(options.linkPath,
                                            port ? port->slavePath() : options.hostNode);
        if (!link->made()) {
            std::fprintf(stderr, "reader-sim: cannot create the link %s: %s\n",
                         options.linkPath.c_str(), std::strerror(errno));
            return 1;
        }
    }

    std::printf("%s\n", port ? port->slavePath().c_str() : device->slavePath().c_str());
    std::fflush(stdout);

    auto journal = [&record](const std::string &line) {
        if (record.is_open())
            record << line << std::endl; // flushed: tests read it while we run
    };
    ReaderEngine engine(options.behaviour, journal);
    DownloadListener download(options.download, journal);
    engine.setDownloadListener(&download);
    if (port)
        serve(*port, engine, options.download.endQuietMs);
    else
        serve(*device, engine, options.download.endQuietMs);
    return 0;
}
