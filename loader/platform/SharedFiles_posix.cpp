#include "SharedFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

EntryKind kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return EntryKind::RegularFile;
    if (S_ISLNK(mode))
        return EntryKind::Link;
    if (S_ISDIR(mode))
        return EntryKind::Folder;
    if (S_ISFIFO(mode))
        return EntryKind::Fifo;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return EntryKind::Device;
    return EntryKind::Other;
}

// Opens path without following a link and without blocking on a FIFO or a
// device, then checks that a plain regular file was opened. -1 with why
// (and refused when the name is no plain regular file) on failure.
int openPlainFile(const std::string &path, int flags, bool &refused, std::string &why)
{
    refused = false;
    const int fd =
        ::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int error = errno;
        // ELOOP: the name is a link. ENXIO: a FIFO nobody reads. EISDIR: a folder.
        const EntryKind kind = entryKind(path);
        if (error == ELOOP || error == ENXIO || error == EISDIR ||
            (kind != EntryKind::Absent && kind != EntryKind::RegularFile)) {
            refused = true;
            why = path + " " +
                  entryKindText(kind == EntryKind::RegularFile || kind == EntryKind::Absent
                                    ? EntryKind::Other
                                    : kind);
        } else {
            why = path + ": " + std::strerror(error);
        }
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink != 1) {
        refused = true;
        if (S_ISREG(info.st_mode) && info.st_nlink > 1)
            why = path + " has other names (hard links)";
        else
            why = path + " " + entryKindText(kindOf(info.st_mode));
        ::close(fd);
        return -1;
    }
    // Regular files never block; the flag only guarded the open itself.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

class PosixLogFile : public LogFile {
public:
    explicit PosixLogFile(int fd) : fd(fd) {}
    ~PosixLogFile() override { ::close(fd); }

    bool append(const char *data, std::size_t size) override
    {
        // O_APPEND: the kernel puts the whole write at the end of the file.
        for (;;) {
            const ssize_t n = ::write(fd, data, size);
            if (n < 0 && errno == EINTR)
                continue;
            return n == ssize_t(size);
        }
    }

    long long size() override
    {
        struct stat info {};
        return ::fstat(fd, &info) == 0 ? static_cast<long long>(info.st_size) : 0;
    }

    bool isAt(const std::string &path) override
    {
        struct stat mine {
        }, named{};
        return ::fstat(fd, &mine) == 0 && ::lstat(path.c_str(), &named) == 0 &&
               mine.st_dev == named.st_dev && mine.st_ino == named.st_ino;
    }

private:
    int fd;
};

} // namespace

EntryKind entryKind(const std::string &path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return EntryKind::Absent;
    return kindOf(info.st_mode);
}

const char *entryKindText(EntryKind kind)
{
    switch (kind) {
    case EntryKind::Link:
        return "is a symbolic link";
    case EntryKind::Folder:
        return "is a folder";
    case EntryKind::Fifo:
        return "is a FIFO (named pipe)";
    case EntryKind::Device:
        return "is a device";
    case EntryKind::Absent:
    case EntryKind::RegularFile:
    case EntryKind::Other:
        break;
    }
    return "is not a regular file";
}

std::unique_ptr<LogFile> LogFile::open(const std::string &path, bool emptyIfAlone, bool &refused,
                                       std::string &why)
{
    const int fd = openPlainFile(path, O_WRONLY | O_APPEND | O_CREAT, refused, why);
    if (fd < 0)
        return nullptr;
    // Runs that write the log hold a shared lock; only a run that can take
    // it exclusively is alone, and only then are old lines dropped.
    if (emptyIfAlone && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
        (void)::ftruncate(fd, 0);
    while (::flock(fd, LOCK_SH) != 0 && errno == EINTR) {
    }
    return std::make_unique<PosixLogFile>(fd);
}

struct FileLock::Handle {
    int fd;
};

FileLock::FileLock(const std::string &path)
{
    bool refused = false;
    const int fd = openPlainFile(path, O_RDWR | O_CREAT, refused, why);
    if (fd < 0)
        return;
    int locked;
    while ((locked = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (locked != 0) {
        why = path + ": " + std::strerror(errno);
        ::close(fd);
        return;
    }
    handle.reset(new Handle{fd});
}

FileLock::~FileLock()
{
    if (handle)
        ::close(handle->fd); // releases the lock
}

bool replaceFile(const std::string &from, const std::string &to, std::string &why)
{
    if (std::rename(from.c_str(), to.c_str()) == 0)
        return true;
    why = "cannot rename " + from + " to " + to + ": " + std::strerror(errno);
    return false;
}
