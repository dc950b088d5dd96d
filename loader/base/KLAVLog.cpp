#include "KLAVLog.h"

#include "KLAVConfig.h"
#include "platform/AppFolders.h"

#include <QDir>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

namespace {

constexpr int kLogLevelMask = 31;
constexpr size_t kBufferSize = 512;    // message and line text: at most 511 bytes
constexpr size_t kBackupNameSize = 128;

std::mutex g_logLock;
FILE *g_logFile = nullptr;
char g_logfileStream[256] = "";
int g_depth = 0;
long g_logSize = 0;  // bytes written to the open file, so no call asks the file

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

void rotateIfFull()
{
    if (g_logfileStream[0] == '\0' || !g_logFile)
        return;
    if (g_logSize < kLogRotateSize)
        return;
    std::fclose(g_logFile);
    g_logFile = nullptr;
    const std::string backup = logBackupName(g_logfileStream);
    if (backup.empty())
        return;  // logging ends for the run
    std::remove(backup.c_str());
    std::rename(g_logfileStream, backup.c_str());
    g_logFile = std::fopen(g_logfileStream, "w+");
    g_logSize = 0;
}

}  // namespace

void writeLog(int level, const char *format, ...)
{
    std::lock_guard<std::mutex> lock(g_logLock);
    if (!g_logFile)
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
        refreshStamp();
        char line[sizeof g_stamp + kBufferSize + 1];
        size_t length = g_stampLength;
        std::memcpy(line, g_stamp, length);
        const size_t textLimit = length + kBufferSize - 1;  // "KLAVLD ..." keeps at most 511 bytes
        appendLimited(line, length, textLimit, "KLAVLD ");
        for (int i = 0; i < g_depth && length < textLimit; ++i)
            line[length++] = ' ';
        appendLimited(line, length, textLimit, markerFor(level));
        appendLimited(line, length, textLimit, message);
        line[length++] = '\n';
        g_logSize += long(std::fwrite(line, 1, length, g_logFile));

        if (level == LOG_ENTER && g_depth + 2 <= kLogMaxDepth)
            g_depth += 2;
    }
    std::fflush(g_logFile);
    rotateIfFull();
}

std::string logBackupName(const std::string &logPath)
{
    if (logPath.size() >= kBackupNameSize)
        return {};
    const size_t dot = logPath.rfind('.');
    std::string backup = logPath.substr(0, (dot != std::string::npos && dot != 0) ? dot : logPath.size());
    backup += ".old";
    if (backup.size() >= kBackupNameSize)
        return {};
    return backup;
}

std::string defaultLogFolder()
{
    return documentsFolder() + "/KLAVCharger";
}

void openLogFile()
{
    std::string folder;
    {
        std::lock_guard<std::mutex> lock(g_logLock);
        if (g_config.LogOption != "1")
            return;
        if (g_config.LogPath == ".") {
            folder = defaultLogFolder();
            QDir().mkpath(QString::fromStdString(folder));  // failure ignored
        } else {
            folder = g_config.LogPath;
        }
        std::string path = folder + "/logKLAV.txt";
        if (path.size() >= sizeof g_logfileStream)
            return;
        if (g_logFile)
            std::fclose(g_logFile);
        std::memcpy(g_logfileStream, path.c_str(), path.size() + 1);
        g_logFile = std::fopen(g_logfileStream, "w+");
        g_logSize = 0;
        g_depth = 0;
        if (!g_logFile)
            return;
    }
    writeLog(LOG_INFO, "parse_variable : g_logfileStream = %s", g_logfileStream);
}

void closeLogFile()
{
    std::lock_guard<std::mutex> lock(g_logLock);
    if (g_logFile) {
        std::fclose(g_logFile);
        g_logFile = nullptr;
    }
}

std::string logFilePath()
{
    std::lock_guard<std::mutex> lock(g_logLock);
    return g_logfileStream;
}
