#include "NativeFile.h"

#include <QFile>
#include <QFileInfo>

// On Windows the narrow file name is in the ANSI code page, which Qt's local
// 8-bit conversion reads exactly.
bool openRegularFile(const QByteArray &path, QFile &file)
{
    const QString name = QFile::decodeName(path);
    if (!QFileInfo(name).isFile())
        return false;
    file.setFileName(name);
    return file.open(QIODevice::ReadOnly);
}

QByteArray absoluteFileName(const QByteArray &path)
{
    return QFile::encodeName(QFileInfo(QFile::decodeName(path)).absoluteFilePath());
}
