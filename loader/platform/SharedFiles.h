#pragma once
// Files that several runs of the program may use at the same time, in
// folders that other users may be able to write to: the diagnostic log and
// the lock files that make the configuration check and the log rotation one
// run's work at a time.
//
// Nothing here writes through a link or into anything but a regular file: a
// name is opened without following a symbolic link (on Windows, without
// following a reparse point) and without blocking (a FIFO or a device is
// refused at once, never waited on), and what was opened is checked before
// it is used. A regular file with other names (hard links) is refused too,
// as writing it would change a file the user never named.

#include <cstddef>
#include <memory>
#include <string>

// What a name in a folder is, looked at without following a link.
enum class EntryKind { Absent, RegularFile, Link, Folder, Fifo, Device, Other };
EntryKind entryKind(const std::string &path);

// "is a symbolic link", "is a folder", ... for a kind other than Absent and
// RegularFile.
const char *entryKindText(EntryKind kind);

// A log file opened for appending. Each line is one write at the end of the
// file, so the lines of runs writing the same log at once never cut into
// each other. Every run holds a shared lock on the file while it has it.
class LogFile {
public:
    // Opens path for appending, creating it when absent. With emptyIfAlone,
    // the file is emptied when no other run has it open, so a run alone
    // starts a new log while a run that starts beside another keeps the
    // other's lines. Null when it cannot be opened: refused is true when
    // the name is not a plain regular file (why says what it is), false for
    // any other failure (a missing folder, no permission).
    static std::unique_ptr<LogFile> open(const std::string &path, bool emptyIfAlone, bool &refused,
                                         std::string &why);
    virtual ~LogFile() = default;

    // Appends the bytes with one write; false when they were not all written.
    virtual bool append(const char *data, std::size_t size) = 0;
    // Current size of the file, with every run's lines.
    virtual long long size() = 0;
    // Whether path still names the very file this handle writes.
    virtual bool isAt(const std::string &path) = 0;
};

// An exclusive lock shared by every process that names the same lock file:
// held from construction to destruction. The lock file is created when
// absent, never through a link, and is left in place (it holds no data).
class FileLock {
public:
    // Waits until the lock is ours, or fails (see held()).
    explicit FileLock(const std::string &path);
    ~FileLock();
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

    bool held() const { return handle != nullptr; }
    // Why the lock could not be taken.
    const std::string &error() const { return why; }

private:
    struct Handle;
    std::unique_ptr<Handle> handle;
    std::string why;
};

// Renames from to to, replacing a file that has the name to (a link there is
// replaced, never followed). False, with why, on failure.
bool replaceFile(const std::string &from, const std::string &to, std::string &why);
