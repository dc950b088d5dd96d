#include "LogCapture.h"

#include "base/KLAVConfig.h"
#include "base/KLAVLog.h"

#include <QFile>

LogCapture::LogCapture()
{
    g_config.LogOption = "1";
    g_config.LogPath = folder.path().toStdString();
    openLogFile();
}

LogCapture::~LogCapture()
{
    closeLogFile();
    g_config.LogOption.clear();
    g_config.LogPath.clear();
}

QStringList LogCapture::lines() const
{
    QFile file(QString::fromStdString(logFilePath()));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

int LogCapture::count(const QString &text) const
{
    int n = 0;
    for (const QString &line : lines())
        n += line.contains(text) ? 1 : 0;
    return n;
}
