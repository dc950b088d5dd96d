// The fault table of a load: for each exchange (initialisation, request,
// data, ending) and each fault terminal-sim plays (silence, a wrong byte, a
// short answer, NAK, hang-up), one whole load on its own worker thread
// through the serial port. Each ends with its result code within the
// exchange's time-out plus a margin, with the port closed (as many file
// descriptors open as before), the worker gone and the database untouched.

#include "ProcessCounts.h"
#include "SimProcess.h"
#include "TestDatabase.h"

#include "app/KLAVCommandLine.h"
#include "load/KLAVDbManager.h"
#include "load/KLAVLoadResult.h"
#include "load/KLAVThread.h"
#include "load/KLAVUsbConnector.h"
#include "port/KLAVDevice.h"
#include "port/KLAVGuid.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

struct Fault {
    const char *exchange;
    const char *fault;
    std::vector<std::string> simOptions;
    int result;
    int limitMs; // the exchange's time-out plus the margin
};

// Port time-outs: 3000 ms for a whole reply, 500 ms between two bytes; the
// ending waits 20 s per MiB, never less than 3000 ms. The margin covers the
// other exchanges of the load (a few milliseconds each) and a busy machine.
constexpr int kMargin = 1500;
constexpr int kTotal = 3000;

const Fault kFaults[] = {
    {"initialisation", "silence", {"--silent"}, LOAD_NO_RESPONSE, kTotal + kMargin},
    {"initialisation", "wrong byte", {"--wrong-byte", "init:1"}, LOAD_INIT_FAILED, kMargin},
    // A short reply whose bytes all match counts as a confirmation.
    {"initialisation", "short answer", {"--short-reply", "init:4"}, LOAD_OK, kTotal + kMargin},
    {"request", "silence", {"--short-reply", "request:0"}, LOAD_REQUEST_REFUSED, kTotal + kMargin},
    {"request", "wrong byte", {"--wrong-byte", "request:4"}, LOAD_REQUEST_REFUSED, kMargin},
    {"request",
     "short answer",
     {"--short-reply", "request:3"},
     LOAD_REQUEST_REFUSED,
     kTotal + kMargin},
    {"data", "silence", {"--short-reply", "3:0"}, LOAD_NO_RESPONSE, kTotal + kMargin},
    {"data", "wrong byte", {"--wrong-byte", "3:0"}, LOAD_BLOCK_REFUSED, kMargin},
    {"data", "short answer", {"--incomplete-nack", "1"}, LOAD_NACK_INCOMPLETE, kMargin},
    {"data", "NAK", {"--refuse", "1"}, LOAD_BLOCK_REFUSED, kMargin},
    {"data", "NACK with text", {"--nack", "2:FULL"}, LOAD_NACK, kMargin},
    {"data", "hang-up", {"--hangup", "2"}, LOAD_NO_RESPONSE, kTotal + kMargin},
    {"ending", "silence", {"--no-ending-reply"}, LOAD_ENDING_FAILED, kTotal + kMargin},
    {"ending", "wrong byte", {"--wrong-byte", "end:0"}, LOAD_ENDING_FAILED, kMargin},
    {"ending", "short answer", {"--short-reply", "end:1"}, LOAD_ENDING_FAILED, kTotal + kMargin},
};

// The window is told a refused request, a NACK and a silent terminal
// during the data by their texts.
int resultOfText(const QString &text)
{
    if (text.startsWith("Loading request failed"))
        return LOAD_REQUEST_REFUSED;
    if (text == "Timeout when sending data")
        return LOAD_NO_RESPONSE;
    return text.startsWith("A NACK was received") ? LOAD_NACK : -1;
}

TEST(LoadFaultTable, EveryFaultEndsCleanlyWithItsResult)
{
    g_consoleMode = false;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("acts.db");
    ASSERT_TRUE(TestDatabase::createOfSize(path, 40000)); // two data blocks
    const QByteArray original = TestDatabase::contents(path);
    const QDateTime modified = QFileInfo(path).lastModified();

    for (const Fault &f : kFaults) {
        SCOPED_TRACE(std::string(f.exchange) + " / " + f.fault);
        SimProcess sim(SimProcess::terminalSim(), f.simOptions);
        ASSERT_FALSE(sim.slavePath().empty());
        const int filesBefore = ProcessCounts::openFiles();
        const int threadsBefore = ProcessCounts::threadsSettledAt(0, 0);

        const KLAVDevice device(
            "\\\\?\\usb#vid_0e6b&pid_0080#FAULTS#{a5dcbf10-6530-11d2-901f-00c04fb951ed}",
            sim.slavePath(), "ttyFAULT", "Velantra QX (ttyFAULT)", usbDeviceInterfaceClass());
        const auto start = std::chrono::steady_clock::now();
        int result = -1;
        {
            // A manager per load: its connection belongs to the thread that runs it.
            KLAVThread thread(KLAVUsbConnector(device, KLAVDbManager(QFile::encodeName(path)), 2));
            QSignalSpy feedback(&thread, &KLAVThread::threadFeedback);
            QSignalSpy nack(&thread, &KLAVThread::threadFeedback_NACK);
            thread.start();
            ASSERT_TRUE(thread.wait(unsigned(f.limitMs + 10000)));
            ASSERT_EQ(feedback.size() + nack.size(), 1);
            result =
                feedback.isEmpty() ? resultOfText(nack[0][0].toString()) : feedback[0][0].toInt();
        }
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count();

        EXPECT_EQ(result, f.result);
        EXPECT_LE(elapsed, f.limitMs);
        EXPECT_EQ(ProcessCounts::openFiles(), filesBefore);
        EXPECT_EQ(ProcessCounts::threadsSettledAt(threadsBefore), threadsBefore);
        EXPECT_EQ(TestDatabase::contents(path), original);
        EXPECT_EQ(QFileInfo(path).lastModified(), modified);
    }
}

// The data replies as terminal-sim sends them over the pty: an acceptance
// ends its read after a short quiet gap, whatever tail comes with it; other
// replies keep the port's time-outs, so a NACK's text arrives whole. Each
// load of four blocks ends with its result; accepted loads arrive whole.
TEST(LoadAnswerTable, AcceptancesEndQuicklyAndOtherRepliesKeepTheirTimeouts)
{
    g_consoleMode = false;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("acts.db");
    ASSERT_TRUE(TestDatabase::createOfSize(path, 4 * 30717 - 1000)); // four blocks
    const QByteArray original = TestDatabase::contents(path);

    struct Row {
        const char *name;
        std::vector<std::string> simOptions;
        int result;
        QString text;  // what the window is told, for a NACK or silence
        int atLeastMs; // the whole load
        int underMs;
    };
    // Four blocks waiting out the 500 ms inter-byte time-out would take 2 s:
    // well above the bound of the accepted loads.
    const Row rows[] = {
        {"05 alone", {}, LOAD_OK, {}, 0, 1000},
        {"05 with a tail in the same burst", {"--ack-length", "3"}, LOAD_OK, {}, 0, 1000},
        {"05 with a tail 10 ms later",
         {"--ack-length", "3", "--split-reply", "data:1:10"},
         LOAD_OK,
         {},
         40,
         1000},
        // The text 100 ms after the NACK's first bytes is still read with them.
        {"06 with its text 100 ms later",
         {"--nack", "2:FULL TEXT", "--split-reply", "4:3:100"},
         LOAD_NACK,
         "A NACK was received : FULL TEXT",
         600,
         3000},
        {"silence",
         {"--short-reply", "3:0"},
         LOAD_NO_RESPONSE,
         "Timeout when sending data",
         kTotal,
         kTotal + kMargin},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const QString received = dir.filePath("received.db");
        QFile::remove(received);
        std::vector<std::string> options = row.simOptions;
        options.insert(options.end(), {"--out", received.toStdString()});
        SimProcess sim(SimProcess::terminalSim(), options);
        ASSERT_FALSE(sim.slavePath().empty());
        const KLAVDevice device(
            "\\\\?\\usb#vid_0e6b&pid_0080#ANSWERS#{a5dcbf10-6530-11d2-901f-00c04fb951ed}",
            sim.slavePath(), "ttyANSWER", "Velantra QX (ttyANSWER)", usbDeviceInterfaceClass());
        KLAVThread thread(KLAVUsbConnector(device, KLAVDbManager(QFile::encodeName(path)), 2));
        QSignalSpy nack(&thread, &KLAVThread::threadFeedback_NACK);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(thread.operate(), row.result);
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count();
        EXPECT_GE(elapsed, row.atLeastMs);
        EXPECT_LT(elapsed, row.underMs);
        ASSERT_EQ(nack.size(), row.text.isEmpty() ? 0 : 1);
        if (!row.text.isEmpty())
            EXPECT_EQ(nack[0][0].toString(), row.text);
        if (row.result == LOAD_OK) {
            EXPECT_EQ(sim.stop(), 0);
            EXPECT_EQ(TestDatabase::contents(received), original);
        }
    }
}

} // namespace
