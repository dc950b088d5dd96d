#include "SharedFiles.h"

#include <windows.h>

#include <cstdio>

// Names are in the ANSI code page, as the rest of the program's narrow file
// names. A handle is opened with FILE_FLAG_OPEN_REPARSE_POINT, so a link
// (symbolic link, junction) is opened itself and then refused, never
// followed; every run shares reading, writing and renaming, so the log can
// be rotated while other runs have it open.

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The byte range the locks are taken on: far beyond any data, so a lock
// never stands in the way of a write.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

std::string lastErrorText(DWORD error)
{
    char text[256] = {};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, text, sizeof text, nullptr);
    std::string message(text, n);
    while (!message.empty() &&
           (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(error) : message;
}

bool lockRange(HANDLE handle, bool exclusive, bool wait)
{
    OVERLAPPED at = {};
    at.OffsetHigh = kLockOffsetHigh;
    DWORD flags = exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0;
    if (!wait)
        flags |= LOCKFILE_FAIL_IMMEDIATELY;
    return LockFileEx(handle, flags, 0, 1, 0, &at) != 0;
}

void unlockRange(HANDLE handle)
{
    OVERLAPPED at = {};
    at.OffsetHigh = kLockOffsetHigh;
    UnlockFileEx(handle, 0, 1, 0, &at);
}

// Opens path (creating it when absent) and checks that a plain regular file
// on a disk was opened. INVALID_HANDLE_VALUE with why on failure.
HANDLE openPlainFile(const std::string &path, DWORD access, bool &refused, std::string &why)
{
    refused = false;
    HANDLE handle =
        CreateFileA(path.c_str(), access | FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        const EntryKind kind = entryKind(path);
        if (kind != EntryKind::Absent && kind != EntryKind::RegularFile) {
            refused = true;
            why = path + " " + entryKindText(kind);
        } else {
            why = path + ": " + lastErrorText(error);
        }
        return INVALID_HANDLE_VALUE;
    }
    BY_HANDLE_FILE_INFORMATION info = {};
    const bool onDisk = GetFileType(handle) == FILE_TYPE_DISK;
    if (!onDisk || !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
        info.nNumberOfLinks != 1) {
        refused = true;
        if (!onDisk)
            why = path + " " + entryKindText(EntryKind::Device);
        else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            why = path + " " + entryKindText(EntryKind::Link);
        else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            why = path + " " + entryKindText(EntryKind::Folder);
        else
            why = path + " has other names (hard links)";
        CloseHandle(handle);
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

bool sameFile(HANDLE a, HANDLE b)
{
    BY_HANDLE_FILE_INFORMATION one = {}, two = {};
    return GetFileInformationByHandle(a, &one) && GetFileInformationByHandle(b, &two) &&
           one.dwVolumeSerialNumber == two.dwVolumeSerialNumber &&
           one.nFileIndexHigh == two.nFileIndexHigh && one.nFileIndexLow == two.nFileIndexLow;
}

class WindowsLogFile : public LogFile {
public:
    explicit WindowsLogFile(HANDLE handle) : handle(handle) {}
    ~WindowsLogFile() override { CloseHandle(handle); }

    bool append(const char *data, std::size_t size) override
    {
        // An offset of all ones writes at the end of the file, in one call.
        OVERLAPPED atEnd = {};
        atEnd.Offset = 0xFFFFFFFF;
        atEnd.OffsetHigh = 0xFFFFFFFF;
        DWORD written = 0;
        return WriteFile(handle, data, DWORD(size), &written, &atEnd) && written == size;
    }

    long long size() override
    {
        LARGE_INTEGER size = {};
        return GetFileSizeEx(handle, &size) ? size.QuadPart : 0;
    }

    bool isAt(const std::string &path) override
    {
        HANDLE named = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (named == INVALID_HANDLE_VALUE)
            return false;
        const bool same = sameFile(handle, named);
        CloseHandle(named);
        return same;
    }

private:
    HANDLE handle;
};

} // namespace

EntryKind entryKind(const std::string &path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? EntryKind::Absent
                                                                              : EntryKind::Other;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return EntryKind::Link;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return EntryKind::Folder;
    if (attributes & FILE_ATTRIBUTE_DEVICE)
        return EntryKind::Device;
    return EntryKind::RegularFile;
}

const char *entryKindText(EntryKind kind)
{
    switch (kind) {
    case EntryKind::Link:
        return "is a link (reparse point)";
    case EntryKind::Folder:
        return "is a folder";
    case EntryKind::Fifo:
        return "is a named pipe";
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
    HANDLE handle = openPlainFile(path, FILE_WRITE_DATA | FILE_APPEND_DATA, refused, why);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    // Runs that write the log hold a shared lock; only a run that can take
    // it exclusively is alone, and only then are old lines dropped.
    if (emptyIfAlone && lockRange(handle, true, false)) {
        LARGE_INTEGER start = {};
        if (SetFilePointerEx(handle, start, nullptr, FILE_BEGIN))
            SetEndOfFile(handle);
        unlockRange(handle);
    }
    lockRange(handle, false, true);
    return std::make_unique<WindowsLogFile>(handle);
}

struct FileLock::Handle {
    HANDLE file;
};

FileLock::FileLock(const std::string &path)
{
    bool refused = false;
    HANDLE file = openPlainFile(path, GENERIC_READ | GENERIC_WRITE, refused, why);
    if (file == INVALID_HANDLE_VALUE)
        return;
    if (!lockRange(file, true, true)) {
        why = path + ": " + lastErrorText(GetLastError());
        CloseHandle(file);
        return;
    }
    handle.reset(new Handle{file});
}

FileLock::~FileLock()
{
    if (handle) {
        unlockRange(handle->file);
        CloseHandle(handle->file);
    }
}

bool replaceFile(const std::string &from, const std::string &to, std::string &why)
{
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    why = "cannot rename " + from + " to " + to + ": " + lastErrorText(GetLastError());
    return false;
}
