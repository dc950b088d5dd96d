// The window tests need a widgets application on the offscreen platform and
// no platform theme: a theme may bring its own file dialog, which blocks in
// its toolkit where no test can reach it.
#include <QApplication>
#include <QScreen>
#include <QtGlobal>

#include <gtest/gtest.h>

// The offscreen platform never frees its screen (with the screen's cursor and
// bookkeeping) when the application ends; kept reachable here so the leak
// checker of the sanitizer build does not report that as ours.
QScreen *g_offscreenScreen = nullptr;

int main(int argc, char **argv)
{
    qunsetenv("QT_QPA_PLATFORMTHEME");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    g_offscreenScreen = QGuiApplication::primaryScreen();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
