#include "KLAVLog.h"

#include "platform/AppFolders.h"
#include "platform/SharedFiles.h"

#include <QDir>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr int kLogLevelMask = 31;
constexpr size_t kBufferSize = 512; // message and line text: at most 511 bytes
constexpr size_t kBackupNameSize = 128;

std::mutex g_logLock;
std::unique_ptr<LogFile> g_logFile;
char g_logfileStream[256] = "";
int g_depth = 0;

// Lines written before the log opened, when the program asked for them to be
// kept (holdLogLinesUntilOpened), each whole with its line end.
bool g_holding = false;
std::vector<std::string> g_heldLines;

// "dd/mm/yyyy HHhMMmSSs - " of the second last formatted: the time is
// formatted once per second, not once per line.
std::time_t g_stampSecond = -1;
char g_stamp[64] = "";
size_t g_stampLength = 0;

const char *markerFor(int level)
{
    if (level & LOG_ENTER)
        return "=> ";
    if (level & LOG_EXIT)
        return "<= ";
    if (!(level & LOG_INFO))
        return "   ";
    return "";
}

void refreshStamp()
{
    const std::time_t now = std::time(nullptr);
    if (now == g_stampSecond)
        return;
    std::tm local{};
    localtime_r(&now, &local);
    const int n = std::snprintf(g_stamp, sizeof g_stamp, "%2.2d/%2.2d/%2.2d %2.2dh%2.2dm%2.2ds - ",
                                local.tm_mday, local.tm_mon + 1, local.tm_year + 1900,
                                local.tm_hour, local.tm_min, local.tm_sec);
    g_stampLength = n > 0 ? std::min(size_t(n), sizeof g_stamp - 1) : 0;
    g_stampSecond = now;
}

// Appends text to line at length, never beyond limit bytes in all.
void appendLimited(char *line, size_t &length, size_t limit, const char *text)
{
    while (*text && length < limit)
        line[length++] = *text++;
}

// Room for one whole line: stamp, at most 511 bytes of text, line end.
constexpr size_t kLineSize = sizeof g_stamp + kBufferSize + 1;

// Formats "<stamp>KLAVLD <depth><marker><message>\n" into line, the stamp
// of the current second; returns its length.
size_t formatLine(char (&line)[kLineSize], int level, int depth, const char *message)
{
    refreshStamp();
    size_t length = g_stampLength;
    std::memcpy(line, g_stamp, length);
    const size_t textLimit = length + kBufferSize - 1; // "KLAVLD ..." keeps at most 511 bytes
    appendLimited(line, length, textLimit, "KLAVLD ");
    for (int i = 0; i < depth && length < textLimit; ++i)
        line[length++] = ' ';
    appendLimited(line, length, textLimit, markerFor(level));
    appendLimited(line, length, textLimit, message);
    line[length++] = '\n';
    return length;
}

// The log ends for the run, with one line on standard error saying why: the
// log is the program's only account of a run, so it does not go quiet
// without a word.
void endLog(const char *what, const std::string &why)
{
    g_logFile.reset();
    std::fprintf(stderr, "KLAVCharger: %s: %s\n", what, why.c_str());
}

// Opens the log at g_logfileStream; false (and the log ended) when that fails.
bool reopenLog(bool emptyIfAlone, const char *what)
{
    bool refused = false;
    std::string why;
    g_logFile = LogFile::open(g_logfileStream, emptyIfAlone, refused, why);
    if (!g_logFile && refused)
        endLog(what, why);
    return g_logFile != nullptr;
}

// Other runs may write the same log: the move to the backup happens under a
// lock that every run takes, and a run that finds the file already moved by
// another only follows it to the new file.
void rotateIfFull()
{
    if (g_logfileStream[0] == '\0' || !g_logFile)
        return;
    if (g_logFile->size() < kLogRotateSize)
        return;
    const std::string backup = logBackupName(g_logfileStream);
    if (backup.empty()) {
        g_logFile.reset(); // logging ends for the run
        return;
    }
    const FileLock lock(logLockName(g_logfileStream));
    if (!lock.held()) {
        endLog("the log stops here", lock.error());
        return;
    }
    if (g_logFile->isAt(g_logfileStream)) {
        if (g_logFile->size() < kLogRotateSize)
            return;
        const EntryKind kind = entryKind(backup);
        if (kind != EntryKind::Absent && kind != EntryKind::RegularFile) {
            endLog("the log stops here", backup + " " + entryKindText(kind));
            return;
        }
        std::string why;
        if (!replaceFile(g_logfileStream, backup, why)) {
            endLog("the log stops here", why);
            return;
        }
    }
    (void)reopenLog(false, "the log stops here");
}

} // namespace

void writeLog(int level, const char *format, ...)
{
    std::lock_guard<std::mutex> lock(g_logLock);
    if (!g_logFile && !g_holding)
        return;
    if (level & kLogLevelMask) {
        char message[kBufferSize];
        va_list args;
        va_start(args, format);
        std::vsnprintf(message, sizeof message, format, args);
        va_end(args);

        if (level == LOG_EXIT && g_depth >= 2)
            g_depth -= 2;

        // The whole line in one buffer, written by one call and flushed, so
        // the file only ever holds whole lines.
        char line[kLineSize];
        const size_t length = formatLine(line, level, g_depth, message);
        if (g_logFile)
            (void)g_logFile->append(line, length);
        else if (g_heldLines.size() < kLogHeldLinesMax)
            g_heldLines.emplace_back(line, length);

        if (level == LOG_ENTER && g_depth + 2 <= kLogMaxDepth)
            g_depth += 2;
    }
    rotateIfFull();
}

std::string logBackupName(const std::string &logPath)
{
    if (logPath.size() >= kBackupNameSize)
        return {};
    const size_t dot = logPath.rfind('.');
    std::string backup =
        logPath.substr(0, (dot != std::string::npos && dot != 0) ? dot : logPath.size());
    backup += ".old";
    if (backup.size() >= kBackupNameSize)
        return {};
    return backup;
}

std::string logLockName(const std::string &logPath)
{
    const size_t slash = logPath.find_last_of("/\\");
    const size_t dot = logPath.rfind('.');
    const bool hasExtension =
        dot != std::string::npos && dot != 0 && (slash == std::string::npos || dot > slash);
    return logPath.substr(0, hasExtension ? dot : logPath.size()) + ".lock";
}

std::string defaultLogFolder()
{
    return documentsFolder() + "/KLAVCharger";
}

void holdLogLinesUntilOpened()
{
    std::lock_guard<std::mutex> lock(g_logLock);
    if (g_logFile || g_holding)
        return; // lines go to the log already, or are held already
    g_holding = true;
    g_depth = 0; // nesting counts from here, as it does from an opening
}

void openLogFile(const std::string &option, const std::string &path)
{
    std::lock_guard<std::mutex> lock(g_logLock);
    // Whatever happens, no line is held after this: they go into the log
    // opened here, or nowhere.
    const bool held = g_holding;
    std::vector<std::string> heldLines;
    heldLines.swap(g_heldLines);
    g_holding = false;

    if (option != "1")
        return;
    std::string folder;
    if (path == ".") {
        folder = defaultLogFolder();
        QDir().mkpath(QString::fromStdString(folder)); // failure ignored
    } else {
        folder = path;
    }
    const std::string file = folder + "/logKLAV.txt";
    if (file.size() >= sizeof g_logfileStream)
        return;
    g_logFile.reset();
    std::memcpy(g_logfileStream, file.c_str(), file.size() + 1);
    // Held lines were nested from the start of the run: the depth goes on
    // from theirs. Otherwise nesting counts from the opening.
    if (!held)
        g_depth = 0;
    // Each start begins a new log, unless another run is writing it.
    if (!reopenLog(true, "no log for this run"))
        return;

    char line[kLineSize];
    char message[kBufferSize];
    std::snprintf(message, sizeof message, "parse_variable : g_logfileStream = %s",
                  g_logfileStream);
    const size_t length = formatLine(line, LOG_INFO, 0, message);
    (void)g_logFile->append(line, length);
    rotateIfFull();
    for (const std::string &heldLine : heldLines) {
        if (!g_logFile)
            break;
        (void)g_logFile->append(heldLine.data(), heldLine.size());
        rotateIfFull();
    }
}

void closeLogFile()
{
    std::lock_guard<std::mutex> lock(g_logLock);
    g_logFile.reset();
}

std::string logFilePath()
{
    std::lock_guard<std::mutex> lock(g_logLock);
    return g_logfileStream;
}
