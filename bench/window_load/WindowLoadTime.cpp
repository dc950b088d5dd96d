// The time of a load started from the window: Load pressed on the real
// window (offscreen platform) until its result box, for a database loaded
// into terminal-sim over a pty (every block answered with 05 alone), found
// through a device tree whose USB tty leads to that pty.
//
//   window_load_time [--rounds N] [MiB]      (defaults: 3 rounds, 4 MiB)
//
// Prints each round's seconds and their median; the received file is
// compared with the database. The window's configuration is made beside
// this program (build/bench-window/config), never beside KLAVCharger.

#include "SimProcess.h"
#include "SysfsTree.h"
#include "TestDatabase.h"

#include "base/KLAVConfig.h"
#include "gui/KLAVInterface.h"
#include "platform/UsbTtyEnumerator.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Presses Load and returns the seconds until the result box, whose text is
// put in boxText; the box is closed and the window is idle again.
double timedLoad(KLAVInterface &window, QString &boxText)
{
    QElapsedTimer clock;
    double seconds = -1;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            seconds = double(clock.nsecsElapsed()) / 1e9;
            boxText = box->text();
            box->done(QMessageBox::Ok);
        }
    });
    poll.start(1);
    clock.start();
    window.slot_load();
    auto *load = window.findChild<QPushButton *>("loadButton");
    while ((seconds < 0 || !load->isEnabled()) && clock.elapsed() < 600000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return seconds;
}

} // namespace

int main(int argc, char *argv[])
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("TERMINAL_SIM", TERMINAL_SIM_PATH, 0);
    QApplication app(argc, argv);
    int rounds = 3;
    long mib = 4;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (std::atol(argv[i]) > 0)
            mib = std::atol(argv[i]);
        else
            return std::fprintf(stderr, "unexpected argument %s\n", argv[i]), 2;
    }
    const QString configFolder = QCoreApplication::applicationDirPath() + "/config";
    QDir().mkpath(configFolder);
    const std::string configFile = (configFolder + "/KLAV_init.ini").toStdString();
    if (!createConfigFile(configFile))
        return std::fprintf(stderr, "cannot write %s\n", configFile.c_str()), 1;
    config_from_file(g_config);

    QTemporaryDir dir;
    const QString database = dir.filePath("acts.db");
    const QString received = dir.filePath("received-%n.db");
    if (!TestDatabase::createOfSize(database, qint64(mib) << 20))
        return std::fprintf(stderr, "cannot write %s\n", qPrintable(database)), 1;
    SimProcess sim(SimProcess::terminalSim(), {"--out", received.toStdString()});
    SysfsTree tree;
    SysfsTree::UsbTty tty;
    tty.idVendor = std::string("0c59");
    tty.idProduct = std::string("0012");
    tty.devName = sim.slavePath().substr(5);
    tty.deviceNode = false; // the pty's own node under /dev
    tree.addUsbTty(tty);
    KLAVInterface window(UsbTtyEnumerator(tree.sysRoot(), "/dev"));
    if (window.findChild<QComboBox *>("deviceCombo")->count() != 1)
        return std::fprintf(stderr, "the window lists no terminal\n"), 1;
    window.setFileChooser(
        [&](const QString &, const QString &, const QString &) { return database; });
    window.slot_selectDb();
    window.show();

    std::vector<double> times;
    for (int round = 1; round <= rounds; ++round) {
        QString text;
        const double seconds = timedLoad(window, text);
        const QString file = dir.filePath(QString("received-%1.db").arg(round));
        for (int i = 0; i < 500 && !QFile::exists(file); ++i)
            QThread::msleep(10);
        if (seconds < 0 || text != "Loading succeeded" ||
            TestDatabase::contents(file) != TestDatabase::contents(database)) {
            std::fprintf(stderr, "load %d: \"%s\"\n", round, qPrintable(text));
            return 1;
        }
        std::printf("window load of %ld MiB: %.2f s\n", mib, seconds);
        std::fflush(stdout);
        times.push_back(seconds);
    }
    std::sort(times.begin(), times.end());
    std::printf("median of %d: %.2f s\n", rounds, times[times.size() / 2]);
    return 0;
}
