// window-screenshot: renders the main window of KLAVCharger to a PNG file
// while it loads a sample database into a simulated terminal, with two
// simulated terminals discovered. Runs on the offscreen platform.
//
//   window-screenshot OUTPUT.png [--locale fr_FR] [--config KLAV_init.ini] [--progress PERCENT]
//
// --config  window texts from that configuration file instead of the default
//           (French) one; --locale  the translation installed, as the program
//           installs the system locale's; --progress  the load's progress to
//           wait for before the picture is taken (default 40).
// terminal-sim, make-sample-db, icons/ and lang/ are expected beside it.

#include "SimulatedTerminals.h"

#include "base/KLAVConfig.h"
#include "gui/KLAVInterface.h"
#include "gui/KLAVQtTranslator.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPixmap>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>
#include <QtTest/QTest>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Options {
    QString output;
    QString locale;
    QString config;
    int progress = 40;
};

bool parseOptions(int argc, char **argv, Options &options)
{
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--locale") == 0 && hasValue)
            options.locale = QString::fromLocal8Bit(argv[++i]);
        else if (std::strcmp(argv[i], "--config") == 0 && hasValue)
            options.config = QString::fromLocal8Bit(argv[++i]);
        else if (std::strcmp(argv[i], "--progress") == 0 && hasValue)
            options.progress = std::atoi(argv[++i]);
        else if (argv[i][0] != '-' && options.output.isEmpty())
            options.output = QString::fromLocal8Bit(argv[i]);
        else
            return false;
    }
    return !options.output.isEmpty() && options.progress >= 1 && options.progress <= 99;
}

int fail(const char *message)
{
    std::fprintf(stderr, "window-screenshot: %s\n", message);
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    const char *const usage = "usage: window-screenshot OUTPUT.png [--locale NAME] [--config FILE] "
                              "[--progress PERCENT]\n";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(usage, stdout);
            return 0;
        }
    }
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fputs(usage, stderr);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qunsetenv("QT_QPA_PLATFORMTHEME");
    QApplication app(argc, argv);
    const QString here = QCoreApplication::applicationDirPath();

    // A configuration of its own: the program's file beside it stays untouched.
    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/KLAV-XXXXXX"));
    const QString configFolder = work.path() + QStringLiteral("/config");
    QDir().mkpath(configFolder);
    if (!options.config.isEmpty() &&
        !QFile::copy(options.config, configFolder + QStringLiteral("/KLAV_init.ini")))
        return fail("cannot read the configuration file");
    configFromFolder(g_config, configFolder.toStdString());

    QTranslator translator;
    if (!options.locale.isEmpty() && !translator.load(here + QStringLiteral("/lang/quillbox_") +
                                                      options.locale + QStringLiteral(".qm")))
        return fail("no translation for that locale in lang/");
    QCoreApplication::installTranslator(&translator);
    // Qt's own texts in that language as well, as the program installs them.
    KLAVQtTranslator qtTranslator;
    if (!options.locale.isEmpty())
        (void)qtTranslator.install(QLocale(options.locale));

    const QString database = work.path() + QStringLiteral("/actes-2026.db");
    if (QProcess::execute(here + QStringLiteral("/make-sample-db"),
                          {database, QStringLiteral("0.6")}) != 0)
        return fail("make-sample-db failed");

    SimulatedTerminals terminals;
    if (!terminals.add(QStringLiteral("Velantra QX"), 0x0c59, 0x0012) ||
        !terminals.add(QStringLiteral("Velantra QX Mobile"), 0x0c59, 0x0012))
        return 1;

    g_recentPath = database;
    int status = 0;
    {
        KLAVInterface window(UsbTtyEnumerator(terminals.sysfsRoot().toStdString(), "/dev"));
        window.show();
        auto *bar = window.findChild<QProgressBar *>(QStringLiteral("progressBar"));
        // A result box means the load ended early: note it and close it.
        QString ended;
        QTimer boxWatch;
        QObject::connect(&boxWatch, &QTimer::timeout, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                ended = box->text();
                box->done(0);
            }
        });
        boxWatch.start(20);
        window.findChild<QPushButton *>(QStringLiteral("loadButton"))->click();
        const bool reached = QTest::qWaitFor(
            [&] { return bar->value() >= options.progress || !ended.isEmpty(); }, 120000);
        if (!ended.isEmpty()) {
            std::fprintf(stderr, "window-screenshot: the load ended: %s\n", qPrintable(ended));
            status = 1;
        } else if (!reached) {
            status = fail("the load did not progress");
        } else if (!window.grab().save(options.output)) {
            status = fail("cannot write the picture");
        } else {
            std::printf("%s: %dx%d, progress %d %%\n", qPrintable(options.output), window.width(),
                        window.height(), bar->value());
        }
    } // the window cancels the load and waits for its thread
    return status;
}
