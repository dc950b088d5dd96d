#include "NativeFile.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <vector>

bool openRegularFile(const QByteArray &path, QFile &file)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
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
