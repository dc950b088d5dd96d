#include "WineLog.h"

#include "base/KLAVLog.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace {

std::mutex lock;
std::vector<std::string> lines;

} // namespace

void writeLog(int, const char *format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::lock_guard<std::mutex> guard(lock);
    lines.emplace_back(text);
}

namespace wine_log {

void clear()
{
    std::lock_guard<std::mutex> guard(lock);
    lines.clear();
}

std::vector<std::string> messages()
{
    std::lock_guard<std::mutex> guard(lock);
    return lines;
}

int find(const std::string &text, int from)
{
    std::vector<std::string> copy = messages();
    for (size_t i = size_t(from < 0 ? 0 : from); i < copy.size(); ++i) {
        if (copy[i] == text)
            return int(i);
    }
    return -1;
}

} // namespace wine_log
