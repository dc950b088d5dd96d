// ccid-gadget: a CCID smart-card reader of the terminal maker in user
// space, over FunctionFS. Its escape messages carry the loader's frames to
// the simulated terminal of the PC/SC test reader; everything else is
// answered as a reader with an empty slot answers it.
//
//   ccid-gadget --ffs DIR [--config FILE] [--out PATH] [--log PATH]
//
// DIR is a mounted FunctionFS instance of a configfs gadget whose strings
// (manufacturer, product, serial number) name the reader. FILE is a test
// reader configuration (tools/pcsc-test-reader/TestReaderConfig.h): the
// terminal's PAD, its misbehaviours, out and log; --out and --log override
// those two. Prints DIR on its first line once the descriptors are written
// (then bind the gadget), serves until SIGTERM or SIGINT, exit status 0;
// 1 when FunctionFS cannot be used, 2 for a wrong command line.

#include "CcidReader.h"
#include "FunctionFsDevice.h"
#include "TestReader.h"
#include "TestReaderConfig.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <sys/signalfd.h>
#include <unistd.h>

namespace {

void note(const std::string &text)
{
    std::fprintf(stderr, "ccid-gadget: %s\n", text.c_str());
}

int usage()
{
    std::fputs("usage: ccid-gadget --ffs DIR [--config FILE] [--out PATH] [--log PATH]\n", stderr);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    std::string folder, configPath, outPath, logPath;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (i + 1 >= argc)
            return usage();
        const std::string value = argv[++i];
        if (name == "--ffs")
            folder = value;
        else if (name == "--config")
            configPath = value;
        else if (name == "--out")
            outPath = value;
        else if (name == "--log")
            logPath = value;
        else
            return usage();
    }
    if (folder.empty())
        return usage();
    TestReaderConfig config;
    std::string error;
    if (!configPath.empty() && !config.load(configPath, error)) {
        note(configPath + ": " + error);
        return 2;
    }
    if (!outPath.empty())
        config.outPath = outPath;
    if (!logPath.empty())
        config.logPath = logPath;

    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGINT);
    sigprocmask(SIG_BLOCK, &stops, nullptr); // before the bulk thread starts
    const int stopFd = signalfd(-1, &stops, SFD_CLOEXEC);

    // Both live until the process ends: the bulk thread may be blocked in a
    // read when the stop comes, so the process ends without unwinding.
    auto *reader = new TestReader(config);
    auto *ccid = new CcidReader(*reader);
    auto *device = new FunctionFsDevice;
    if (stopFd < 0 || !device->open(folder, CcidReader::classDescriptor(), error)) {
        note(stopFd < 0 ? "signalfd failed" : error);
        return 1;
    }
    std::printf("%s\n", folder.c_str());
    std::fflush(stdout);

    std::thread([device, ccid] {
        std::vector<uint8_t> message;
        for (;;) {
            if (!device->readMessage(message, CcidReader::kHeaderSize,
                                     CcidReader::kMaxMessageLength)) {
                // Not configured (yet, or any more): wait for the host.
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            const std::vector<uint8_t> answer = ccid->answer(message);
            if (!answer.empty() && !device->writeMessage(answer))
                note("the host did not take an answer");
        }
    }).detach();

    const bool served = device->serveControl(stopFd, note);
    std::fflush(nullptr);
    std::_Exit(served ? 0 : 1);
}
