#include "KLAVLog.h"

#include "KLAVConfig.h"
#include "platform/AppFolders.h"

#include <QDir>

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

void rotateIfFull()
{
    if (g_logfileStream[0] == '\0' || !g_logFile)
        return;
    if (std::ftell(g_logFile) < kLogRotateSize)
        return;
    std::fclose(g_logFile);
    g_logFile = nullptr;
    const std::string backup = logBackupName(g_logfileStream);
    if (backup.empty())
        return;  // logging ends for the run
    std::remove(backup.c_str());
    std::rename(g_logfileStream, backup.c_str());
    g_logFile = std::fopen(g_logfileStream, "w+");
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

        std::string text = "KLAVLD ";
        text.append(size_t(g_depth), ' ');
        text += markerFor(level);
        text += message;
        if (text.size() >= kBufferSize)
            text.resize(kBufferSize - 1);

        std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        std::fprintf(g_logFile, "%2.2d/%2.2d/%2.2d %2.2dh%2.2dm%2.2ds - %s\n", local.tm_mday,
                     local.tm_mon + 1, local.tm_year + 1900, local.tm_hour, local.tm_min,
                     local.tm_sec, text.c_str());

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
