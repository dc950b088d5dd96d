// The time of a whole console load as a user runs it:
//     KLAVCharger <database> ttyACM0
// in a private mount namespace whose /sys describes one USB terminal (VID
// 0c59, PID 0012, the default configuration's) whose device node is a
// terminal-sim pty; the terminal answers every block with 05 alone, as the
// terminal does. The received file is compared with the database.
//
//   console_load_time [--program KLAVCharger] [--rounds N] [MiB]
//                     (defaults: the build's program, 3 rounds, 4 MiB)
//
// Prints each round's seconds and their median. Needs root or unprivileged
// user namespaces.

#include "SimProcess.h"
#include "SysfsTree.h"
#include "TestDatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

QStringList unshareArgs()
{
    QStringList args{"--mount", "--propagation", "private"};
    if (geteuid() != 0)
        args = QStringList{"--user", "--map-root-user"} + args;
    return args;
}

// One load; its seconds, or a negative number when it failed.
double timedLoad(const QString &program, const QString &database, const QTemporaryDir &dir)
{
    const QString received = dir.filePath("received.db");
    QFile::remove(received);
    SimProcess sim(SimProcess::terminalSim(), {"--out", received.toStdString(), "--loads", "1"});
    SysfsTree tree;
    SysfsTree::UsbTty tty;
    tty.port = "ttyACM0";
    tty.idVendor = "0c59";
    tty.idProduct = "0012";
    tty.product = "Terminal";
    tty.devName = sim.slavePath().substr(5);
    tree.addUsbTty(tty);

    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.insert("HOME", dir.path());
    process.setProcessEnvironment(env);
    const QString script = "mount --bind \"$1\" /sys && shift && exec \"$@\"";
    QElapsedTimer clock;
    clock.start();
    process.start("unshare", unshareArgs() + QStringList{"sh", "-c", script, "sh",
                                                         QString::fromStdString(tree.sysRoot()),
                                                         program, database, "ttyACM0"});
    const bool finished = process.waitForFinished(600000);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    if (!finished || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        std::fprintf(stderr, "load ended with %d: %s\n", process.exitCode(),
                     process.readAllStandardOutput().right(300).constData());
        return -1;
    }
    if (sim.wait(10000) != 0 ||
        TestDatabase::contents(received) != TestDatabase::contents(database)) {
        std::fprintf(stderr, "the terminal did not receive the database whole\n");
        return -1;
    }
    return seconds;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    setenv("TERMINAL_SIM", TERMINAL_SIM_PATH, 0);
    QString source = KLAV_CHARGER_PATH;
    int rounds = 3;
    long mib = 4;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--program") == 0 && i + 1 < argc)
            source = argv[++i];
        else if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (std::atol(argv[i]) > 0)
            mib = std::atol(argv[i]);
        else
            return std::fprintf(stderr, "unexpected argument %s\n", argv[i]), 2;
    }
    QTemporaryDir dir;
    const QString program = dir.filePath("KLAVCharger"); // its config/ is made beside it
    const QString database = dir.filePath("acts.db");
    if (!QFile::copy(source, program) || !TestDatabase::createOfSize(database, qint64(mib) << 20)) {
        std::fprintf(stderr, "cannot prepare %s\n", qPrintable(dir.path()));
        return 1;
    }
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        const double seconds = timedLoad(program, database, dir);
        if (seconds < 0)
            return 1;
        std::printf("console load of %ld MiB: %.2f s\n", mib, seconds);
        std::fflush(stdout);
        times.push_back(seconds);
    }
    std::sort(times.begin(), times.end());
    std::printf("median of %d: %.2f s\n", rounds, times[times.size() / 2]);
    return 0;
}
