#pragma once
// Files named by the bytes the platform uses for file names. A name that is
// not valid in the locale's encoding (legal on Linux) cannot pass through a
// QString unchanged, so the database path stays in bytes from the command
// line to the open call.
//
// Opening never blocks: a FIFO or a device in place of a file is told as
// such at once, never waited on.

#include <QByteArray>
#include <QtGlobal>

class QFile;

// Why a name cannot be opened as a regular file for reading.
enum class FileProblem {
    None,
    Missing, // nothing has that name
    Folder,
    Fifo, // a named pipe
    Device,
    NotRegular,       // any other kind of entry
    PermissionDenied, // a file the user may not read
    Unreadable,       // any other failure to open
};

// "does not exist", "is a folder", "cannot be read: permission denied", ...
const char *fileProblemText(FileProblem problem);

// Opens path for reading into file (which then owns the open file). False,
// with file left closed and problem (when given) set, when path is not a
// regular file or cannot be opened.
bool openRegularFile(const QByteArray &path, QFile &file, FileProblem *problem = nullptr);

// What kind of entry path names (links followed), without opening it:
// None for a regular file, else the kind (Missing when nothing is there).
FileProblem entryProblem(const QByteArray &path);

// path made absolute against the current folder, still in bytes.
QByteArray absoluteFileName(const QByteArray &path);

// path made absolute, in the encoding SQLite takes for file names: the
// platform's own bytes on POSIX; UTF-8 on Windows, whose narrow names are in
// the ANSI code page (an accented name would otherwise name another file).
QByteArray sqliteFileName(const QByteArray &path);

// What tells that a file changed without reading it all: its identity, its
// size and the times of its last change. Equal stamps taken at two moments
// mean no write reached the file in between.
struct FileStamp {
    qint64 size = -1;
    qint64 modified = 0; // nanoseconds, or the platform's finest unit
    qint64 changed = 0;
    quint64 identity = 0;

    bool operator==(const FileStamp &other) const
    {
        return size == other.size && modified == other.modified && changed == other.changed &&
               identity == other.identity;
    }
    bool operator!=(const FileStamp &other) const { return !(*this == other); }
};

// The stamp of the file path names; false when it cannot be looked at.
bool fileStamp(const QByteArray &path, FileStamp &stamp);
