// The fault table of rdrload's operations: for each exchange of each
// operation and each fault reader-sim plays (silence, a wrong byte, a short
// answer, NAK, hang-up), one call of the export over a pty in this process.
// Each ends with its result within the exchange's time-out plus a margin,
// with the port closed (as many file descriptors open as before), no thread
// left behind and the image it was given unchanged.

#include "ProcessCounts.h"
#include "PtyReader.h"
#include "TextFile.h"
#include "api/rdrload.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace rdrload;
using namespace rdrload::testing;
using Bytes = std::vector<unsigned char>;

namespace {

constexpr unsigned char kPort = 7;
constexpr int kMargin = 1000;

void __stdcall ignoreProgress(void *) {}

struct Call {
    Bytes image;
    std::function<int(Bytes &)> run;
};

Call application()
{
    return {Bytes(1000, 0x5A), [](Bytes &image) {
                return ApplicationDL_(image.data(), image.size(), kPort, 0, ignoreProgress);
            }};
}

Call download()
{
    return {Bytes(300, 0x33),
            [](Bytes &data) { return DownloadData_(data.data(), int(data.size()), 'D', kPort); }};
}

Call upload()
{
    return {Bytes(), [](Bytes &) {
                unsigned char buffer[512];
                return UploadData_(buffer, 'D', int(sizeof buffer), kPort, ignoreProgress);
            }};
}

Call testMode()
{
    return {Bytes(), [](Bytes &) {
                unsigned char buffer[512];
                return testMode_('1', buffer, int(sizeof buffer), kPort);
            }};
}

Call update()
{
    return {Bytes(20000, 0x77), [](Bytes &package) {
                return ThirdPartyUpdate_(package.data(), package.size(), 0, kPort, 0,
                                         ignoreProgress);
            }};
}

Call firmLoader()
{
    return {Bytes(4096, 0x11), [](Bytes &file) {
                unsigned char productId[32] = {'Q', 'X'};
                return FirmLoaderDL_(file.data(), 256, file.data(), 1024, file.data(), 4096, kPort,
                                     productId, ignoreProgress, 0x00400000, 0x00100000);
            }};
}

struct Fault {
    const char *operation;
    const char *exchange;
    const char *fault;
    std::function<Call()> call;
    std::vector<std::string> simOptions;
    int result;
    int waitMs;
    // The reader-sim journal line that marks the faulted exchange; the time
    // counts from it (else from the call). With hangUp, reader-sim is
    // stopped there.
    const char *faultSeen = nullptr;
    bool hangUp = false;
};

// waitMs: what the path waits by design, the faulted exchange's time-out
// and the fixed pauses on the way (1 s after every close, 2 s before an
// upload, the boot loader's reset and start times), the margin added.
const Fault kFaults[] = {
    {"ApplicationDL_", "request", "NAK", application, {"--answer", "1=nak"}, 1, 1000},
    {"ApplicationDL_", "request", "wrong byte", application, {"--answer", "1=0x41"}, 1, 1000},
    {"ApplicationDL_", "block", "NAK", application, {"--answer", "2=nak"}, NACK_ERROR, 1000},
    {"ApplicationDL_",
     "block",
     "wrong byte",
     application,
     {"--answer", "2=0x41"},
     OTHER_ERROR,
     1000},
    {"ApplicationDL_",
     "signature",
     "NAK",
     application,
     {"--signature", "nak"},
     SIGNATURE_ERROR,
     1000},
    {"ApplicationDL_", "block", "hang-up", application, {}, TIMEOUT_ERROR, 1000, "answer 2 ", true},
    // The one silence that really waits: the other silences are the same
    // read with another time-out, timed on the virtual clock by each
    // operation's own tests (tests/rdrload/ops).
    {"DownloadData_",
     "request",
     "silence",
     download,
     {"--fault", "silence@1"},
     TIMEOUT_ERROR,
     10000 + 1000},
    {"DownloadData_", "request", "NAK", download, {"--fault", "nak@1"}, NACK_ERROR, 1000},
    {"DownloadData_",
     "data",
     "wrong byte",
     download,
     {"--fault", "wrong-byte@4"},
     OTHER_ERROR,
     1000},
    // The port is closed twice on this path (by the acknowledgement check,
    // then again), each close pausing.
    {"UploadData_", "letter", "NAK", upload, {"--fault", "nak@2"}, NACK_ERROR, 2000 + 2000},
    {"UploadData_",
     "length",
     "short answer",
     upload,
     {"--fault", "short-length"},
     TIMEOUT_ERROR,
     2000 + 10000 + 1000},
    {"testMode_",
     "request",
     "wrong byte",
     testMode,
     {"--fault", "wrong-byte@1"},
     OTHER_ERROR,
     1000},
    {"testMode_", "test number", "NAK", testMode, {"--fault", "nak@2"}, NACK_ERROR, 1000},
    {"ThirdPartyUpdate_",
     "decision",
     "refusal",
     update,
     {"--update-decision", "7"},
     int(0xFF000007u),
     1000},
    {"ThirdPartyUpdate_",
     "header",
     "NAK",
     update,
     {"--update-header-answer", "1:nak"},
     NACK_ERROR,
     2000},
    {"ThirdPartyUpdate_",
     "packet",
     "wrong byte",
     update,
     {"--update-packet-answer", "1:0x41"},
     OTHER_ERROR,
     2000},
    {"FirmLoaderDL_",
     "synchronisation",
     "wrong byte",
     firmLoader,
     {"--boot-loader", "0x00400000", "--sync-answer", "0x41"},
     TIMEOUT_ERROR,
     200 + 1000 + 1000},
    // From the flash answer: boot mode released, the reset, the close (1 s).
    {"FirmLoaderDL_",
     "flash",
     "NAK",
     firmLoader,
     {"--boot-loader", "0x00400000", "--flash-answer", "nak"},
     NACK_ERROR,
     200 + 1000,
     "flash "},
};

bool journalHas(const std::string &journal, const std::string &text)
{
    for (const std::string &line : readLines(journal))
        if (line.find(text) != std::string::npos)
            return true;
    return false;
}

TEST(OperationFaultTable, EveryFaultEndsCleanlyWithItsResult)
{
    // A sanitizer's runtime may start a thread of its own when the process
    // creates its first one: create one first, so every row counts alike.
    std::thread([] {}).join();
    for (const Fault &f : kFaults) {
        SCOPED_TRACE(std::string(f.operation) + " / " + f.exchange + " / " + f.fault);
        PtyReader pty;
        pty.startReader(f.simOptions);
        ASSERT_FALSE(::testing::Test::HasFatalFailure());

        Call call = f.call();
        const Bytes original = call.image;
        const int filesBefore = ProcessCounts::openFiles();
        const int threadsBefore = ProcessCounts::threadsSettledAt(0, 0);
        auto start = std::chrono::steady_clock::now();
        int result = -1;
        std::atomic<bool> done{false};
        std::thread host([&] {
            result = call.run(call.image);
            done = true;
        });
        if (f.faultSeen) {
            bool seen = false;
            const auto end = start + std::chrono::seconds(60);
            while (!done && !(seen = journalHas(pty.journal(), f.faultSeen)) &&
                   std::chrono::steady_clock::now() < end)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            EXPECT_TRUE(seen);
            start = std::chrono::steady_clock::now();
            if (f.hangUp)
                pty.reader->stop(); // the reader drops the line in the middle of the exchange
        }
        host.join();
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count();

        std::printf("%-18s %-16s %-13s result %d in %lld ms\n", f.operation, f.exchange, f.fault,
                    result, static_cast<long long>(elapsed));
        EXPECT_EQ(result, f.result);
        EXPECT_LE(elapsed, f.waitMs + kMargin);
        EXPECT_EQ(ProcessCounts::openFiles(), filesBefore);
        EXPECT_EQ(ProcessCounts::threadsSettledAt(threadsBefore), threadsBefore);
        EXPECT_EQ(call.image, original);
    }
}

} // namespace
