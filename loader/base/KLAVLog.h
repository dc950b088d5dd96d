#pragma once
// Diagnostic log of KLAVCharger: one optional text file, switched on by the
// two settings the entry hands to openLogFile (the configuration's LogOption
// and LogPath). Every call is a no-op while no log file is open, so callers
// never test whether logging is on; only a program that asked to hold its
// early lines has them kept until the log opens.
//
// The log folder may be one that other users can write to, and several runs
// may log into it at once:
// - the log and its backup are only ever a regular file that is no link (a
//   link, a FIFO, a device or a folder in their place is refused: no log for
//   the run, or no more log, and one line on standard error saying why);
// - every line is appended whole with one write, so lines of runs writing
//   at once never cut into each other, and a run that starts while another
//   writes the log keeps the other's lines instead of emptying the file;
// - the move to the ".old" backup happens under a lock file beside the log
//   ("logKLAV.lock") that every run takes; a run whose file was moved by
//   another follows it to the new file.

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <string>

enum KLAVLogLevel {
    LOG_ERROR = 1, // failures
    LOG_ENTER = 2, // entry into a method: its qualified name
    LOG_EXIT = 4,  // leaving a method: its qualified name
    LOG_INFO = 8,  // facts and progress
    LOG_DATA = 16, // byte traces of frames
};

// Writes one line "dd/mm/yyyy HHhMMmSSs - KLAVLD <depth><marker><message>".
// Thread-safe: the whole call runs under one lock.
void writeLog(int level, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// Writes a method's enter line when it is made and its exit line when its
// scope ends: once, whichever way the method returns.
//     KLAVLogScope scope("KLAVSerialPort::closePort");
//     KLAVLogScope scope("KLAVPcscPort::ExecuteCommand",
//                        "KLAVPcscPort::ExecuteCommand : Writing %d bytes", length);
// The second form writes an enter line with details. The exit line is the
// name alone, unless the method gives it details before it returns
// (scope.setExitDetail(" - res=%d", res) gives "<name> - res=0").
class KLAVLogScope {
public:
    explicit KLAVLogScope(const char *name) : name(name) { writeLog(LOG_ENTER, "%s", name); }
    template <typename... Args>
    KLAVLogScope(const char *name, const char *enterFormat, Args... args) : name(name)
    {
        writeLog(LOG_ENTER, enterFormat, args...);
    }
    ~KLAVLogScope() { writeLog(LOG_EXIT, "%s%s", name, exitDetail); }
    KLAVLogScope(const KLAVLogScope &) = delete;
    KLAVLogScope &operator=(const KLAVLogScope &) = delete;

    // Text written after the name on the exit line (cut at 63 bytes).
    void setExitDetail(const char *format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
    {
        va_list args;
        va_start(args, format);
        std::vsnprintf(exitDetail, sizeof exitDetail, format, args);
        va_end(args);
    }

private:
    const char *name;
    char exitDetail[64] = "";
};

// Opens the log "logKLAV.txt" in the folder path ("." stands for
// defaultLogFolder(), created when missing) when option is "1"; any other
// option leaves the log as it is. Each start empties the file unless another
// run is writing it. The first line written names the file:
// "parse_variable : g_logfileStream = <path>"; the lines held since
// holdLogLinesUntilOpened() follow it, as they were formatted when written
// (time stamp, depth, marker), then every later line. Held lines are dropped
// when logging is off or the file cannot be opened.
void openLogFile(const std::string &option, const std::string &path);

// From this call until openLogFile, lines written while no log is open are
// kept in memory (at most kLogHeldLinesMax, later ones are dropped) instead
// of being lost, and the depth of nested method lines is counted for them.
// The entry calls it first, so the log of a start holds what was written
// before the settings that open it were read. Nothing is held unless asked.
void holdLogLinesUntilOpened();

// Most lines holdLogLinesUntilOpened keeps.
constexpr size_t kLogHeldLinesMax = 1000;

// Closes the log file; later writeLog calls do nothing.
void closeLogFile();

// Full path of the log file, empty while logging was never switched on.
std::string logFilePath();

// Size at which the log moves to its ".old" backup (1 MiB).
constexpr long kLogRotateSize = 0x100000;

// Deepest indentation of nested method lines, so unbalanced enter/exit
// lines cannot grow it without bound over a long run.
constexpr int kLogMaxDepth = 64;

// Name the log moves to when full: the text from the last "." (not the first
// character) is replaced by ".old", else ".old" is appended. Empty when the
// name would not fit the 128-byte limit of the backup name.
std::string logBackupName(const std::string &logPath);

// The lock file of the log's rotation: the log's name with ".lock" in
// place of its extension.
std::string logLockName(const std::string &logPath);

// Folder that LogPath "." stands for: <Documents>/KLAVCharger.
std::string defaultLogFolder();
