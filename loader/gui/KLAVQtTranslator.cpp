#include "KLAVQtTranslator.h"

#include "base/KLAVLog.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QStringList>

KLAVQtTranslator::~KLAVQtTranslator()
{
    if (installed)
        QCoreApplication::removeTranslator(&translator);
}

bool KLAVQtTranslator::install(const QLocale &locale)
{
    KLAVLogScope scope("KLAVQtTranslator::install");
    const QStringList folders{QCoreApplication::applicationDirPath() +
                                  QStringLiteral("/translations"),
                              QLibraryInfo::location(QLibraryInfo::TranslationsPath)};
    for (const QString &folder : folders) {
        // Tries "fr_FR", then "fr", as the locale's languages say.
        if (translator.load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
            installed = QCoreApplication::installTranslator(&translator);
            break;
        }
    }
    if (installed)
        writeLog(LOG_INFO, "Qt translation loaded: %s", fileName().toUtf8().constData());
    else
        writeLog(LOG_INFO, "No Qt translation for the locale %s",
                 locale.name().toUtf8().constData());
    return installed;
}

QString KLAVQtTranslator::fileName() const
{
    return installed ? translator.filePath() : QString();
}
