#include "NativeFile.h"

#include <QFile>
#include <QFileInfo>

#include <windows.h>

// On Windows the narrow file name is in the ANSI code page, which Qt's local
// 8-bit conversion reads exactly.

FileProblem entryProblem(const QByteArray &path)
{
    const QFileInfo info(QFile::decodeName(path));
    if (!info.exists())
        return FileProblem::Missing;
    if (info.isDir())
        return FileProblem::Folder;
    if (!info.isFile())
        return FileProblem::NotRegular;
    return FileProblem::None;
}

bool openRegularFile(const QByteArray &path, QFile &file, FileProblem *problem)
{
    FileProblem why = entryProblem(path);
    if (why == FileProblem::None) {
        file.setFileName(QFile::decodeName(path));
        if (file.open(QIODevice::ReadOnly)) {
            if (problem)
                *problem = FileProblem::None;
            return true;
        }
        why = file.error() == QFileDevice::PermissionsError ? FileProblem::PermissionDenied
                                                            : FileProblem::Unreadable;
    }
    if (problem)
        *problem = why;
    return false;
}

QByteArray absoluteFileName(const QByteArray &path)
{
    return QFile::encodeName(QFileInfo(QFile::decodeName(path)).absoluteFilePath());
}

QByteArray sqliteFileName(const QByteArray &path)
{
    return QFileInfo(QFile::decodeName(path)).absoluteFilePath().toUtf8();
}

bool fileStamp(const QByteArray &path, FileStamp &stamp)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExA(path.constData(), GetFileExInfoStandard, &data))
        return false;
    stamp.size = (qint64(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    stamp.modified =
        (qint64(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    stamp.changed =
        (qint64(data.ftCreationTime.dwHighDateTime) << 32) | data.ftCreationTime.dwLowDateTime;
    stamp.identity = 0;
    return true;
}
