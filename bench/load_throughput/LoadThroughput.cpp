// Load throughput: KLAVCharger's whole load (connector, loading thread,
// serial port) into terminal-sim over a pty, against a baseline that makes
// the same exchanges (opening frames, 30720-byte data frames, ending frame,
// byte counts alike) over a pty pair with a peer process answering as
// terminal-sim does, and a raw reader that reads exactly the reply it
// expects, with no protocol logic. Two peers:
//   terminal  answers every block with 05 alone, as the terminal does;
//   filling   answers every block with 05 and 254 zeros, which fills the
//             loader's 255-byte read at once.
// Sizes of 1, 16 and 64 MiB, logging off and on; each measurement runs in a
// child process so its peak memory is its own.
//
//   load_throughput [--peer terminal|filling|both] [--rounds N] [SIZES_MIB...]
//                   (defaults: both, 5, 1 16 64)
//
// Each figure is the median of N interleaved rounds.

#include "SimProcess.h"

#include "app/KLAVCommandLine.h"
#include "base/KLAVConfig.h"
#include "base/KLAVLog.h"
#include "load/KLAVDbManager.h"
#include "load/KLAVThread.h"
#include "load/KLAVUsbConnector.h"
#include "port/KLAVDevice.h"

#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kFrame = 30720;
constexpr int kPayload = 30717;
constexpr int kFillingAck = 255;
constexpr int kTerminalAck = 1;
constexpr int kDefaultRounds = 5;

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A sound database of size bytes: a small SQLite file, then filler that
// SQLite never reads, written in pieces.
bool makeDatabase(const QString &path, qint64 size)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "bench");
        db.setDatabaseName(path);
        if (!db.open())
            return false;
        QSqlQuery q(db);
        q.exec("PRAGMA page_size=512");
        q.exec("CREATE TABLE R_DBINFO (NUM_CONCEPT INTEGER, VALEUR TEXT)");
        q.exec("INSERT INTO R_DBINFO VALUES (1, 'Benchmark')");
        db.close();
    }
    QSqlDatabase::removeDatabase("bench");
    QFile file(path);
    if (!file.open(QIODevice::Append))
        return false;
    QByteArray piece(1 << 20, 'x');
    for (int i = 0; i < piece.size(); ++i)
        piece[i] = char(i * 31 + 7);
    while (file.size() < size) {
        const qint64 n = std::min<qint64>(piece.size(), size - file.size());
        if (file.write(piece.constData(), n) != n)
            return false;
    }
    return true;
}

// Peak resident memory of this process alone, in KiB.
long peakResidentKiB()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Child: one whole load; prints its seconds and its peak memory.
int runLoad(const char *dbPath, bool logging, const char *workDir, const char *ackLength)
{
    setenv("TERMINAL_SIM", TERMINAL_SIM_PATH, 0);
    g_consoleMode = false;
    if (logging) {
        g_config.LogOption = "1";
        g_config.LogPath = workDir;
        openLogFile(g_config.LogOption, g_config.LogPath);
    }
    SimProcess terminal(SimProcess::terminalSim(), {"--ack-length", ackLength, "--loads", "1"});
    KLAVDevice device("\\\\?\\usb#vid_0c59&pid_0012#bench#{a5dcbf10-6530-11d2-901f-00c04fb951ed}",
                      terminal.slavePath(), "ttyACM0", "Bench", usbDeviceInterfaceClass());
    KLAVThread load(KLAVUsbConnector(device, KLAVDbManager(QByteArray(dbPath)), 2));
    const auto start = std::chrono::steady_clock::now();
    const int result = load.operate();
    const double seconds = secondsSince(start);
    closeLogFile();
    if (result != 0) {
        std::fprintf(stderr, "load ended with %d\n", result);
        return 1;
    }
    std::printf("%.6f %ld\n", seconds, peakResidentKiB());
    return 0;
}

bool writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EAGAIN) {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, 1000);
            continue;
        }
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

bool readExactly(int fd, char *data, size_t size)
{
    while (size > 0) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 3000) <= 0)
            return false;
        const ssize_t n = read(fd, data, size);
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

// The exchanges of a load of size bytes, by length: the opening pair
// (initialisation, then the request for the bench's one-row R_DBINFO), one
// data frame per 30717-byte block (the last one shorter), the ending frame;
// each with the length of terminal-sim's reply (ackLength for a block).
struct Exchange {
    size_t sent;
    size_t reply;
    bool data; // a data frame, whose payload the peer keeps
};

std::vector<Exchange> loadExchanges(qint64 size, size_t ackLength)
{
    std::vector<Exchange> exchanges{{9, 9, false}, {26, 7, false}};
    for (qint64 left = size; left > 0; left -= kPayload)
        exchanges.push_back({size_t(3 + std::min<qint64>(left, kPayload)), ackLength, true});
    exchanges.push_back({3, 3, false});
    return exchanges;
}

// The baseline's peer, a process of its own as terminal-sim is: reads each
// frame whole, keeps the data frames' payload in memory and answers with a
// reply of terminal-sim's length (05 and zeros).
void answerFrames(int master, const std::vector<Exchange> &exchanges)
{
    std::vector<char> frame(kFrame);
    std::vector<char> received;
    std::vector<char> reply(kFillingAck, 0);
    reply[0] = 0x05;
    for (const Exchange &e : exchanges) {
        if (!readExactly(master, frame.data(), e.sent))
            return;
        if (e.data)
            received.insert(received.end(), frame.begin() + 3, frame.begin() + long(e.sent));
        if (!writeAll(master, reply.data(), e.reply))
            return;
    }
}

// Child: the same exchanges, byte counts alike, over a raw pty pair to a peer
// process that answers as terminal-sim does, with no protocol logic on the
// host's side, so the ratio measures the loader alone.
int runBaseline(qint64 size, size_t ackLength)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        return 1;
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    const std::vector<Exchange> exchanges = loadExchanges(size, ackLength);
    const pid_t peer = fork();
    if (peer < 0)
        return 1;
    if (peer == 0) {
        close(slave);
        answerFrames(master, exchanges);
        _exit(0);
    }
    std::vector<char> frame(kFrame, 'y');
    std::vector<char> reply(kFillingAck);
    const auto start = std::chrono::steady_clock::now();
    bool ok = true;
    for (size_t i = 0; i < exchanges.size() && ok; ++i)
        ok = writeAll(slave, frame.data(), exchanges[i].sent) &&
             readExactly(slave, reply.data(), exchanges[i].reply);
    const double seconds = secondsSince(start);
    int status = 0;
    waitpid(peer, &status, 0);
    close(slave);
    close(master);
    if (!ok)
        return 1;
    std::printf("%.6f\n", seconds);
    return 0;
}

struct Measure {
    double seconds = 0;
    long peakKiB = 0;
    bool ok = false;
};

Measure runChild(const std::vector<std::string> &args)
{
    int out[2];
    if (pipe(out) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        std::vector<char *> argv;
        static std::string self = "/proc/self/exe";
        argv.push_back(self.data());
        for (const std::string &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv("/proc/self/exe", argv.data());
        _exit(127);
    }
    close(out[1]);
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, size_t(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    Measure m;
    m.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    m.seconds = std::strtod(text.c_str(), nullptr);
    const size_t blank = text.find(' ');
    m.peakKiB = blank == std::string::npos ? 0 : std::atol(text.c_str() + blank + 1);
    return m;
}

// The median of the rounds' measures; a failed run is remembered in failed.
Measure median(std::vector<Measure> runs, bool &failed)
{
    for (const Measure &m : runs)
        failed = failed || !m.ok;
    std::sort(runs.begin(), runs.end(),
              [](const Measure &a, const Measure &b) { return a.seconds < b.seconds; });
    return runs[runs.size() / 2];
}

struct Peer {
    const char *name;
    int ackLength;
};

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 6 && std::strcmp(argv[1], "--load") == 0) {
        QCoreApplication app(argc, argv);
        return runLoad(argv[2], std::strcmp(argv[3], "1") == 0, argv[4], argv[5]);
    }
    if (argc == 4 && std::strcmp(argv[1], "--baseline") == 0)
        return runBaseline(std::atoll(argv[2]), size_t(std::atoi(argv[3])));

    QCoreApplication app(argc, argv);
    std::vector<long> sizesMiB;
    std::vector<Peer> peers{{"terminal", kTerminalAck}, {"filling", kFillingAck}};
    int rounds = kDefaultRounds;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--peer" && i + 1 < argc) {
            const std::string which = argv[++i];
            if (which == "terminal")
                peers = {{"terminal", kTerminalAck}};
            else if (which == "filling")
                peers = {{"filling", kFillingAck}};
            else if (which != "both")
                return std::fprintf(stderr, "--peer wants terminal, filling or both\n"), 2;
        } else if (arg == "--rounds" && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else if (std::atol(arg.c_str()) > 0) {
            sizesMiB.push_back(std::atol(arg.c_str()));
        } else {
            return std::fprintf(stderr, "unexpected argument %s\n", arg.c_str()), 2;
        }
    }
    if (sizesMiB.empty())
        sizesMiB = {1, 16, 64};

    QTemporaryDir work;
    std::printf("%-8s %8s %12s %12s %12s %8s %12s\n", "peer", "MiB", "baseline", "load (log)",
                "MB/s", "ratio", "peak RSS");
    bool allOk = true;
    for (const Peer &peer : peers) {
        const std::string ack = std::to_string(peer.ackLength);
        for (const long mib : sizesMiB) {
            const qint64 size = qint64(mib) << 20;
            const QString db = work.filePath(QString("bench-%1.db").arg(mib));
            if (!makeDatabase(db, size)) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(db));
                return 1;
            }
            // Rounds interleave the three runs, so a slow spell of the machine
            // weighs on all of them alike; each figure is the median of its rounds.
            std::vector<Measure> baseRuns, loadRuns[2];
            bool failed = false;
            for (int round = 0; round < rounds; ++round) {
                baseRuns.push_back(runChild({"--baseline", std::to_string(size), ack}));
                for (const bool logging : {false, true})
                    loadRuns[logging].push_back(
                        runChild({"--load", db.toStdString(), logging ? "1" : "0",
                                  work.path().toStdString(), ack}));
            }
            const Measure base = median(baseRuns, failed);
            const Measure loads[2] = {median(loadRuns[0], failed), median(loadRuns[1], failed)};
            allOk = allOk && !failed;
            const double baseRate = double(size) / 1e6 / base.seconds;
            std::printf("%-8s %8ld %9.1f MB/s\n", peer.name, mib, baseRate);
            for (const bool logging : {false, true}) {
                const Measure &load = loads[logging];
                const double rate = double(size) / 1e6 / load.seconds;
                std::printf("%-8s %8ld %12s %12s %8.2f MB/s %7.3f %9ld KiB\n", peer.name, mib, "",
                            logging ? "on" : "off", rate, rate / baseRate, load.peakKiB);
            }
            QFile::remove(db);
            std::fflush(stdout);
        }
    }
    return allOk ? 0 : 1;
}
