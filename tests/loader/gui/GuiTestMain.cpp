// The window tests need a widgets application on the offscreen platform and
// no platform theme: a theme may bring its own file dialog, which blocks in
// its toolkit where no test can reach it.
#include <QApplication>
#include <QtGlobal>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    qunsetenv("QT_QPA_PLATFORMTHEME");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
