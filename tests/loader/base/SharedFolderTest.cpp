// Runs of the program started at the same moment in one folder: none loses
// another's files. Each round starts the real processes together; the
// stress script repeats the test to meet many interleavings.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace {

constexpr int kRuns = 4;
constexpr int kRounds = 3;

std::string readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

std::vector<std::string> linesOf(const QString &path)
{
    std::vector<std::string> lines;
    std::ifstream in(path.toStdString());
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Starts every command at once and waits for all; their standard outputs.
std::vector<std::string> runTogether(const QString &program,
                                     const std::vector<QStringList> &arguments)
{
    std::vector<std::unique_ptr<QProcess>> processes;
    for (const QStringList &args : arguments) {
        processes.push_back(std::make_unique<QProcess>());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        processes.back()->setProcessEnvironment(env);
        processes.back()->start(program, args);
    }
    std::vector<std::string> outputs;
    for (auto &process : processes) {
        EXPECT_TRUE(process->waitForFinished(60000));
        outputs.push_back(process->readAllStandardOutput().toStdString());
    }
    return outputs;
}

} // namespace

// An invalid configuration file (fewer settings than needed) met by four
// starts at once: one keeps it as a backup and writes the default, the
// others find the default valid. The user's file is never lost.
TEST(SharedFolder, StartsAtOnceNeverLoseTheUsersInvalidConfiguration)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString program = dir.filePath("KLAVCharger");
    ASSERT_TRUE(QFile::copy(KLAV_CHARGER_PATH, program));
    ASSERT_TRUE(QDir().mkpath(dir.filePath("config")));
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        // 500 KB of the user's own settings, different each round.
        std::string mine = "&ApplicationName=round " + std::to_string(round) + "\n";
        while (mine.size() < 500000)
            mine += "&ExplicativeText=my help line " + std::to_string(mine.size()) + "\n";
        {
            std::ofstream(dir.filePath("config/KLAV_init.ini").toStdString(), std::ios::binary)
                << mine;
        }
        const std::vector<std::string> outputs =
            runTogether(program, std::vector<QStringList>(kRuns, {"-?"}));

        int named = 0;
        for (const std::string &out : outputs)
            named += out.find("\nConfig file not valid: replaced by the default file, the invalid "
                              "file is kept as ") != std::string::npos;
        EXPECT_EQ(named, 1); // one run replaced it and said so
        int kept = 0;
        const QStringList backups =
            QDir(dir.filePath("config")).entryList({"KLAV_init.ini.bak*"}, QDir::Files);
        for (const QString &backup : backups)
            kept += readAll(dir.filePath("config/" + backup)) == mine;
        EXPECT_EQ(kept, 1) << backups.join(' ').toStdString();
        EXPECT_EQ(backups.size(), round + 1); // no earlier round's backup replaced
        EXPECT_NE(
            readAll(dir.filePath("config/KLAV_init.ini")).find("&ApplicationName=KLAV Chargeur"),
            std::string::npos);
    }
}

// Four runs writing one log at once, past its rotation size: every line of
// every run is in the log or its backup, whole, exactly once.
TEST(SharedFolder, RunsLoggingAtOnceKeepEveryLineWhole)
{
    constexpr int kLines = 2500;
    constexpr int kPad = 100; // about 1.4 MB in all: one move to the backup
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString folder = dir.path();
        std::vector<std::unique_ptr<QProcess>> writers;
        for (int run = 0; run < kRuns; ++run) {
            writers.push_back(std::make_unique<QProcess>());
            writers.back()->start(KLAV_LOG_WRITER_PATH,
                                  {folder, "run" + QString::number(run), QString::number(kLines),
                                   QString::number(kPad)});
        }
        // All have the log open before any writes: no run is alone to empty it.
        for (int run = 0; run < kRuns; ++run)
            while (!QFile::exists(folder + "/ready-run" + QString::number(run)))
                ASSERT_FALSE(writers[size_t(run)]->waitForFinished(1)) << "writer ended early";
        std::ofstream((folder + "/go").toStdString()).flush();
        for (auto &writer : writers) {
            ASSERT_TRUE(writer->waitForFinished(60000));
            EXPECT_EQ(writer->exitCode(), 0);
        }

        const std::regex whole(
            R"(^\d\d/\d\d/\d{4} \d\dh\d\dm\d\ds - KLAVLD (run\d) line (\d+) \.{100}$)");
        const std::regex first(
            R"(^\d\d/\d\d/\d{4} \d\dh\d\dm\d\ds - KLAVLD parse_variable : g_logfileStream = .*$)");
        std::map<std::string, std::vector<int>> seen;
        int starts = 0;
        int cut = 0;
        for (const QString &file : {folder + "/logKLAV.old", folder + "/logKLAV.txt"}) {
            for (const std::string &line : linesOf(file)) {
                std::smatch m;
                if (std::regex_match(line, m, whole))
                    seen[m[1]].push_back(std::stoi(m[2]));
                else if (std::regex_match(line, first))
                    ++starts;
                else
                    ++cut;
            }
        }
        EXPECT_EQ(cut, 0);
        EXPECT_EQ(starts, kRuns);
        ASSERT_EQ(seen.size(), size_t(kRuns));
        for (auto &[tag, numbers] : seen) {
            std::sort(numbers.begin(), numbers.end());
            std::vector<int> expected(kLines);
            for (int i = 0; i < kLines; ++i)
                expected[size_t(i)] = i;
            EXPECT_EQ(numbers, expected) << tag; // in order within a run, none lost or repeated
        }
        EXPECT_TRUE(QFile::exists(folder + "/logKLAV.old")); // the rotation did happen
    }
}
