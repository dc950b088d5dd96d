#include "NativeFile.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <vector>

namespace {

FileProblem problemOfMode(mode_t mode)
{
    if (S_ISREG(mode))
        return FileProblem::None;
    if (S_ISDIR(mode))
        return FileProblem::Folder;
    if (S_ISFIFO(mode))
        return FileProblem::Fifo;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return FileProblem::Device;
    return FileProblem::NotRegular;
}

FileProblem problemOfError(int error)
{
    if (error == ENOENT || error == ENOTDIR)
        return FileProblem::Missing;
    if (error == EACCES || error == EPERM)
        return FileProblem::PermissionDenied;
    return FileProblem::Unreadable;
}

} // namespace

FileProblem entryProblem(const QByteArray &path)
{
    struct stat info {};
    if (::stat(path.constData(), &info) != 0)
        return problemOfError(errno);
    return problemOfMode(info.st_mode);
}

bool openRegularFile(const QByteArray &path, QFile &file, FileProblem *problem)
{
    FileProblem why = entryProblem(path);
    if (why == FileProblem::None) {
        // O_NONBLOCK: should the name have become a FIFO since it was looked
        // at, the open returns instead of waiting for a writer.
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        struct stat info {};
        if (fd < 0) {
            why = problemOfError(errno);
        } else if (::fstat(fd, &info) != 0) {
            why = FileProblem::Unreadable;
        } else if ((why = problemOfMode(info.st_mode)) == FileProblem::None) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            if (file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
                if (problem)
                    *problem = FileProblem::None;
                return true;
            }
            why = FileProblem::Unreadable;
        }
        if (fd >= 0)
            ::close(fd);
    }
    if (problem)
        *problem = why;
    return false;
}

QByteArray absoluteFileName(const QByteArray &path)
{
    if (path.startsWith('/'))
        return path;
    std::vector<char> folder(PATH_MAX);
    if (!::getcwd(folder.data(), folder.size()))
        return path;
    QByteArray absolute(folder.data());
    if (!absolute.endsWith('/'))
        absolute += '/';
    return absolute + path;
}

QByteArray sqliteFileName(const QByteArray &path)
{
    return absoluteFileName(path);
}

bool fileStamp(const QByteArray &path, FileStamp &stamp)
{
    struct stat info {};
    if (::stat(path.constData(), &info) != 0)
        return false;
    stamp.size = info.st_size;
    stamp.modified = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    stamp.changed = qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
    stamp.identity = (quint64(info.st_dev) << 40) ^ quint64(info.st_ino);
    return true;
}
