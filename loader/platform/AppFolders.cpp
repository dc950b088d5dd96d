#include "AppFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

std::string executableFolder()
{
    return QCoreApplication::applicationDirPath().toStdString();
}

std::string documentsFolder()
{
    QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (docs.isEmpty())
        docs = QDir::homePath();
    return QDir::cleanPath(docs).toStdString();
}
