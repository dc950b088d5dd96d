// Diagnostic log: line format, markers, nesting, rotation, switching on and
// off, the lines held until it opens, and whole lines when two threads write
// at once.

#include "StreamCapture.h"

#include "base/KLAVLog.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> readLines(const std::string &path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The text after "dd/mm/yyyy HHhMMmSSs - ".
std::string textOf(const std::string &line)
{
    const size_t at = line.find(" - ");
    return at == std::string::npos ? std::string() : line.substr(at + 3);
}

class LogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        openIn(dir.path().toStdString());
    }
    void TearDown() override { closeLogFile(); }

    void openIn(const std::string &folder)
    {
        openLogFile("1", folder);
        path = folder + "/logKLAV.txt";
    }

    std::vector<std::string> lines() { return readLines(path); }

    QTemporaryDir dir;
    std::string path;
};

TEST_F(LogTest, FirstLineNamesTheFileAndEachLineHasTheDateFormat)
{
    writeLog(LOG_ENTER, "analyzeArgs");
    const auto all = lines();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(textOf(all[0]), "KLAVLD parse_variable : g_logfileStream = " + path);
    const std::regex format(R"(^\d\d/\d\d/\d{4} \d\dh\d\dm\d\ds - KLAVLD => analyzeArgs$)");
    EXPECT_TRUE(std::regex_match(all[1], format)) << all[1];
}

// The stamp is formatted once per second: a line of a later second carries
// that second, not the one cached from the line before.
TEST_F(LogTest, EachLineCarriesTheSecondItWasWrittenIn)
{
    auto stampOf = [](std::time_t t) {
        std::tm local{};
        localtime_r(&t, &local);
        char text[32];
        std::strftime(text, sizeof text, "%d/%m/%Y %Hh%Mm%Ss", &local);
        return std::string(text);
    };
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::time_t before = std::time(nullptr);
        writeLog(LOG_INFO, "first");
        // Waits for the clock's next second (an event, not a guessed time).
        while (std::time(nullptr) == before)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const std::time_t second = std::time(nullptr);
        writeLog(LOG_INFO, "second");
        const std::time_t after = std::time(nullptr);
        if (after != second)
            continue; // the second changed again under the write: try once more
        const auto all = lines();
        ASSERT_GE(all.size(), 2u);
        EXPECT_EQ(all.back(), stampOf(second) + " - KLAVLD second");
        return;
    }
    FAIL() << "the clock never held still for one write";
}

TEST_F(LogTest, MarkersAndNestingFollowTheLevel)
{
    writeLog(LOG_ENTER, "A::run");
    writeLog(LOG_INFO, "fact %d", 7);
    writeLog(LOG_ERROR, "failure");
    writeLog(LOG_DATA, "0x%02X", 0x2F);
    writeLog(LOG_ENTER, "B::inner");
    writeLog(LOG_EXIT, "B::inner");
    writeLog(LOG_EXIT, "A::run");
    writeLog(LOG_EXIT, "unbalanced"); // depth stays 0
    writeLog(LOG_INFO, "after");
    const auto all = lines();
    ASSERT_EQ(all.size(), 10u);
    EXPECT_EQ(textOf(all[1]), "KLAVLD => A::run");
    EXPECT_EQ(textOf(all[2]), "KLAVLD   fact 7");
    EXPECT_EQ(textOf(all[3]), "KLAVLD      failure");
    EXPECT_EQ(textOf(all[4]), "KLAVLD      0x2F");
    EXPECT_EQ(textOf(all[5]), "KLAVLD   => B::inner");
    EXPECT_EQ(textOf(all[6]), "KLAVLD   <= B::inner");
    EXPECT_EQ(textOf(all[7]), "KLAVLD <= A::run");
    EXPECT_EQ(textOf(all[8]), "KLAVLD <= unbalanced");
    EXPECT_EQ(textOf(all[9]), "KLAVLD after");
}

TEST_F(LogTest, DepthIsCappedAndLongMessagesAreCut)
{
    for (int i = 0; i < 200; ++i)
        writeLog(LOG_ENTER, "deeper");
    writeLog(LOG_INFO, "%s", std::string(2000, 'x').c_str());
    const auto all = lines();
    const std::string deepest = textOf(all.back());
    EXPECT_EQ(deepest.size(), 511u);
    EXPECT_EQ(deepest.substr(0, 7 + kLogMaxDepth + 1),
              "KLAVLD " + std::string(kLogMaxDepth, ' ') + "x");
}

TEST_F(LogTest, NothingIsWrittenAfterClose)
{
    writeLog(LOG_INFO, "before");
    closeLogFile();
    writeLog(LOG_INFO, "after");
    closeLogFile();
    EXPECT_EQ(lines().size(), 2u);
}

TEST_F(LogTest, FullLogMovesToTheBackupNameAndGoesOnInANewFile)
{
    const std::string backup = dir.path().toStdString() + "/logKLAV.old";
    std::ofstream(backup) << "older backup\n";
    const std::string chunk(400, 'y');
    int calls = 0;
    qint64 previousSize = 0;
    for (;;) { // write until the file is seen to start again
        writeLog(LOG_INFO, "%s", chunk.c_str());
        ++calls;
        const qint64 size = QFileInfo(QString::fromStdString(path)).size();
        if (size < previousSize || calls > 10000)
            break;
        previousSize = size;
    }
    writeLog(LOG_INFO, "%s", chunk.c_str());
    writeLog(LOG_INFO, "%s", chunk.c_str());
    const auto old = readLines(backup);
    ASSERT_FALSE(old.empty());
    EXPECT_NE(old[0], "older backup");
    const qint64 oldSize = QFileInfo(QString::fromStdString(backup)).size();
    EXPECT_GE(oldSize, kLogRotateSize);
    EXPECT_LT(oldSize, kLogRotateSize + 512);
    EXPECT_EQ(lines().size(), 2u);
    EXPECT_EQ(old.size(), size_t(calls) + 1); // the first line and every call before the move
}

// Whatever the log folder holds under the log's name, the log writes only
// into a plain regular file of its own: anything else means no log for the
// run and one line on standard error.
TEST(LogRefusal, ALinkAFifoOrAFolderIsNeverWrittenAndOneLineSaysWhy)
{
    struct Case {
        const char *name;
        std::function<int(const std::string &log, const std::string &victim)>
            make; // a descriptor to close, or -1
        const char *why;
    };
    const Case cases[] = {
        {"symbolic link",
         [](auto &log, auto &victim) {
             return ::symlink(victim.c_str(), log.c_str()) == 0 ? -1 : -2;
         },
         "is a symbolic link"},
        {"hard link",
         [](auto &log, auto &victim) { return ::link(victim.c_str(), log.c_str()) == 0 ? -1 : -2; },
         "has other names (hard links)"},
        {"FIFO nobody reads",
         [](auto &log, auto &) { return ::mkfifo(log.c_str(), 0600) == 0 ? -1 : -2; },
         "is a FIFO (named pipe)"},
        {"FIFO with a reader that never reads",
         [](auto &log, auto &) {
             return ::mkfifo(log.c_str(), 0600) == 0 ? ::open(log.c_str(), O_RDONLY | O_NONBLOCK)
                                                     : -2;
         },
         "is a FIFO (named pipe)"},
        {"folder", [](auto &log, auto &) { return ::mkdir(log.c_str(), 0700) == 0 ? -1 : -2; },
         "is a folder"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const std::string folder = dir.path().toStdString();
        const std::string log = folder + "/logKLAV.txt";
        const std::string victim = folder + "/victim";
        std::ofstream(victim) << "precious\n";
        const int held = c.make(log, victim);
        ASSERT_NE(held, -2);
        rdrload::testing::StreamCapture err(stderr);
        openLogFile("1", folder);
        writeLog(LOG_INFO, "x");
        closeLogFile();
        EXPECT_EQ(err.release(), "KLAVCharger: no log for this run: " + log + " " + c.why + "\n");
        EXPECT_EQ(readLines(victim), std::vector<std::string>{"precious"});
        if (held >= 0)
            ::close(held);
    }
}

TEST_F(LogTest, ABackupNameThatIsALinkStopsTheLogAtRotationAndNeverWritesThroughIt)
{
    const std::string victim = dir.path().toStdString() + "/victim";
    const std::string backup = dir.path().toStdString() + "/logKLAV.old";
    std::ofstream(victim) << "precious\n";
    ASSERT_EQ(::symlink(victim.c_str(), backup.c_str()), 0);
    rdrload::testing::StreamCapture err(stderr);
    const std::string chunk(400, 'y');
    for (int i = 0; i < 3000; ++i) // 1.2 MB: past the rotation size
        writeLog(LOG_INFO, "%s", chunk.c_str());
    EXPECT_EQ(err.release(),
              "KLAVCharger: the log stops here: " + backup + " is a symbolic link\n");
    EXPECT_EQ(readLines(victim), std::vector<std::string>{"precious"});
    const qint64 size = QFileInfo(QString::fromStdString(path)).size();
    EXPECT_GE(size, kLogRotateSize);
    EXPECT_LT(size, kLogRotateSize + 512); // nothing after the line that filled it
}

TEST(LogBackupName, ReplacesTheLastExtensionOrAppends)
{
    EXPECT_EQ(logBackupName("/home/u/KLAVCharger/logKLAV.txt"), "/home/u/KLAVCharger/logKLAV.old");
    EXPECT_EQ(logBackupName("/a.b/log"), "/a.old");
    EXPECT_EQ(logBackupName(".profile"), ".profile.old");
    EXPECT_EQ(logBackupName("noext"), "noext.old");
    EXPECT_EQ(logBackupName(std::string(120, 'a') + "/l.txt"), std::string(120, 'a') + "/l.old");
    EXPECT_EQ(logBackupName(std::string(128, 'a')), "");
    EXPECT_EQ(logBackupName(std::string(125, 'a')), ""); // 129 bytes with ".old"
}

TEST_F(LogTest, TwoThreadsWriteWholeLines)
{
    constexpr int kPerThread = 4000;
    auto writer = [](const char *name) {
        for (int i = 0; i < kPerThread; ++i) {
            writeLog(LOG_ENTER, "%s::step", name);
            writeLog(LOG_EXIT, "%s::step", name);
        }
    };
    std::thread a(writer, "Main"), b(writer, "Load");
    a.join();
    b.join();
    const auto all = lines();
    ASSERT_EQ(all.size(), size_t(1 + 4 * kPerThread));
    const std::regex whole(
        R"(^\d\d/\d\d/\d{4} \d\dh\d\dm\d\ds - KLAVLD ( *)(=>|<=) (Main|Load)::step$)");
    for (size_t i = 1; i < all.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(all[i], m, whole)) << all[i];
        EXPECT_LE(m[1].length(), 2) << all[i]; // depth stays consistent: 0 or 2
    }
}

TEST(LogSwitch, OptionAndFolderDecideWhetherALogIsWritten)
{
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();

    openLogFile("0", folder);
    writeLog(LOG_INFO, "x");
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("logKLAV.txt")));

    openLogFile("1", folder + "/missing");
    writeLog(LOG_INFO, "x");
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("missing")));
    closeLogFile();

    // "." means <Documents>/KLAVCharger, created with its parents.
    qputenv("HOME", dir.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (dir.path() + "/.config").toUtf8());
    openLogFile("1", ".");
    writeLog(LOG_INFO, "in documents");
    closeLogFile();
    const QString log = dir.path() + "/Documents/KLAVCharger/logKLAV.txt";
    ASSERT_TRUE(QFileInfo::exists(log));
    // A second start empties it.
    openLogFile("1", ".");
    closeLogFile();
    EXPECT_EQ(readLines(log.toStdString()).size(), 1u);
}

// Lines written before the log opens reach it only when the program asked
// for them to be held, and only the log that does open: logging off or a
// folder that cannot be written drops them. Held lines follow the first
// line with the depth they were written at, and the nesting goes on.
TEST(LogHold, LinesBeforeTheOpeningReachTheLogOnlyWhenHeldForIt)
{
    struct Case {
        const char *name;
        bool hold;
        const char *earlierOption;         // an opening before the one that works, or nullptr
        const char *earlierFolder;         // below the test's folder
        std::vector<std::string> expected; // after the first line
    };
    const Case cases[] = {
        {"not asked: lost", false, nullptr, nullptr, {"KLAVLD late", "KLAVLD <= A::run"}},
        {"held",
         true,
         nullptr,
         nullptr,
         {"KLAVLD => A::run", "KLAVLD   early", "KLAVLD   late", "KLAVLD <= A::run"}},
        {"dropped with logging off", true, "0", "", {"KLAVLD late", "KLAVLD <= A::run"}},
        {"dropped when the log cannot be opened",
         true,
         "1",
         "/missing",
         {"KLAVLD late", "KLAVLD <= A::run"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const std::string folder = dir.path().toStdString();
        if (c.hold)
            holdLogLinesUntilOpened();
        writeLog(LOG_ENTER, "A::run");
        writeLog(LOG_INFO, "early");
        if (c.earlierOption)
            openLogFile(c.earlierOption, folder + c.earlierFolder);
        openLogFile("1", folder);
        writeLog(LOG_INFO, "late");
        writeLog(LOG_EXIT, "A::run");
        closeLogFile();

        const auto all = readLines(folder + "/logKLAV.txt");
        ASSERT_FALSE(all.empty());
        EXPECT_EQ(textOf(all[0]),
                  "KLAVLD parse_variable : g_logfileStream = " + folder + "/logKLAV.txt");
        std::vector<std::string> rest;
        for (size_t i = 1; i < all.size(); ++i)
            rest.push_back(textOf(all[i]));
        EXPECT_EQ(rest, c.expected);
    }
}

TEST(LogHold, AtMostTheFirstThousandLinesAreHeld)
{
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    holdLogLinesUntilOpened();
    for (size_t i = 0; i < kLogHeldLinesMax + 5; ++i)
        writeLog(LOG_INFO, "line %d", int(i));
    openLogFile("1", folder);
    writeLog(LOG_INFO, "after");
    closeLogFile();
    const auto all = readLines(folder + "/logKLAV.txt");
    ASSERT_EQ(all.size(), 1 + kLogHeldLinesMax + 1);
    EXPECT_EQ(textOf(all[1]), "KLAVLD line 0");
    EXPECT_EQ(textOf(all[kLogHeldLinesMax]), "KLAVLD line 999");
    EXPECT_EQ(textOf(all.back()), "KLAVLD after");
}

// A held line keeps the second it was written in, not the opening's.
TEST(LogHold, HeldLinesKeepTheirTimeStamps)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        QTemporaryDir dir;
        const std::string folder = dir.path().toStdString();
        holdLogLinesUntilOpened();
        const std::time_t written = std::time(nullptr);
        writeLog(LOG_INFO, "early");
        const std::time_t after = std::time(nullptr);
        while (std::time(nullptr) == after) // the next second, then the opening
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        openLogFile("1", folder);
        closeLogFile();
        if (after != written)
            continue; // the second changed under the write: try once more
        const auto all = readLines(folder + "/logKLAV.txt");
        ASSERT_EQ(all.size(), 2u);
        const std::string stampOfFirst = all[0].substr(0, all[0].find(" - "));
        const std::string stampOfHeld = all[1].substr(0, all[1].find(" - "));
        std::tm local{};
        localtime_r(&written, &local);
        char text[32];
        std::strftime(text, sizeof text, "%d/%m/%Y %Hh%Mm%Ss", &local);
        EXPECT_EQ(stampOfHeld, text);
        EXPECT_NE(stampOfFirst, stampOfHeld);
        EXPECT_EQ(textOf(all[1]), "KLAVLD early");
        return;
    }
    FAIL() << "the clock never held still for one write";
}

} // namespace
