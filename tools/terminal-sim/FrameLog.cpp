#include "FrameLog.h"

#include <cstdio>

void FrameLog::frame(bool fromHost, const std::string &what, const uint8_t *data, size_t size)
{
    std::string line = fromHost ? "H>T " : "T>H ";
    line += what + " " + std::to_string(size) + ":";
    size_t shown = size < kHexShown ? size : kHexShown;
    char hex[4];
    for (size_t i = 0; i < shown; ++i) {
        std::snprintf(hex, sizeof hex, " %02X", data[i]);
        line += hex;
    }
    if (shown < size)
        line += " ... (+" + std::to_string(size - shown) + ")";
    add(std::move(line));
}

void FrameLog::note(const std::string &text)
{
    add("-- " + text);
}

bool FrameLog::contains(const std::string &text) const
{
    for (const std::string &line : lines_) {
        if (line.find(text) != std::string::npos)
            return true;
    }
    return false;
}

void FrameLog::add(std::string line)
{
    if (sink_)
        sink_(line);
    lines_.push_back(std::move(line));
    if (lines_.size() > kLinesKept)
        lines_.pop_front();
}
