// KLAVCharger: without arguments a window, with arguments a console load
// whose result code is the exit status.

#include "KLAVCommandLine.h"
#include "KLAVExitStatus.h"
#include "KLAVStartup.h"
#include "base/KLAVConfig.h"
#include "base/KLAVLog.h"
#include "gui/KLAVInterface.h"
#include "gui/KLAVInvalidConfigBox.h"
#include "gui/KLAVQtTranslator.h"
#include "platform/ConsoleWindow.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

#include <cstdio>
#include <memory>

namespace {

int runGraphicalMode(const QString &locale, bool settingsSaved)
{
    g_consoleMode = false;
    hideConsoleWindow();
    QTranslator translator;
    (void)translator.load(QCoreApplication::applicationDirPath() + "/lang/quillbox_" + locale +
                          ".qm");
    QCoreApplication::installTranslator(&translator);
    // The file dialog and the standard buttons in the window's language too.
    KLAVQtTranslator qtTranslator;
    (void)qtTranslator.install(QLocale(locale));
    int status;
    {
        KLAVInterface window; // destroyed before the translators
        window.show();
        if (!settingsSaved) // said over the window, once it is up
            QTimer::singleShot(0, &window, [&window] { window.tellSettingsNotSaved(true); });
        status = QApplication::exec();
    }
    return status;
}

KLAVExitStatus runConsoleMode(const std::vector<std::string> &args)
{
    g_consoleMode = true;
    const KLAVExitStatus status = analyzeArgs(args);
    std::printf("\nReturned value : %d", exitCode(status));
    std::fflush(stdout);
    return status;
}

} // namespace

int main(int argc, char *argv[])
{
    // The log opens once the configuration that names it is read: the lines
    // written until then are kept for it.
    holdLogLinesUntilOpened();

    // Console mode must run where there is no display: only the window needs
    // a widgets application. Qt's own options choose no mode.
    const std::vector<std::string> args = programArguments(argc, argv);
    const bool consoleMode = args.size() != 1;
    if (consoleMode)
        keepRunningWhenOutputCloses();
    std::unique_ptr<QCoreApplication> app;
    if (consoleMode)
        app = std::make_unique<QCoreApplication>(argc, argv);
    else
        app = std::make_unique<QApplication>(argc, argv);

    const QString locale = QLocale::system().name();
    g_consoleMode = consoleMode;
    g_config = ConfigStruct();
    const ConfigReading reading = config_from_file(g_config);
    startFromConfiguration(g_config, reading, consoleMode, showInvalidConfigBox);

    return consoleMode ? exitCode(runConsoleMode(args))
                       : runGraphicalMode(locale, reading.settingsSaved);
}
