#include "LogCapture.h"

#include "base/KLAVConfig.h"
#include "base/KLAVLog.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

LogCapture::LogCapture()
{
    g_config.LogOption = "1";
    g_config.LogPath = folder_.path();
    openLogFile(g_config.LogOption, g_config.LogPath);
}

LogCapture::~LogCapture()
{
    closeLogFile();
    g_config.LogOption.clear();
    g_config.LogPath.clear();
}

std::vector<std::string> LogCapture::messages() const
{
    std::vector<std::string> result;
    std::ifstream in(folder_.file("logKLAV.txt"));
    std::string line;
    // "dd/mm/yyyy HHhMMmSSs - KLAVLD <depth><marker><message>"
    while (std::getline(in, line)) {
        size_t at = line.find(" - KLAVLD ");
        if (at == std::string::npos) {
            if (!result.empty())
                result.back() += "\n" + line; // a message that carried its own line end
            continue;
        }
        std::string rest = line.substr(at + 10);
        size_t start = rest.find_first_not_of(' ');
        rest = start == std::string::npos ? std::string() : rest.substr(start);
        if (rest.compare(0, 3, "=> ") == 0 || rest.compare(0, 3, "<= ") == 0)
            rest = rest.substr(3);
        result.push_back(rest);
    }
    return result;
}

int LogCapture::count(const std::string &text) const
{
    int n = 0;
    for (const std::string &message : messages())
        n += message == text;
    return n;
}

int LogCapture::find(const std::string &text, int from) const
{
    std::vector<std::string> all = messages();
    for (size_t i = size_t(from); i < all.size(); ++i) {
        if (all[i] == text)
            return int(i);
    }
    return -1;
}

std::vector<std::string> LogCapture::lines() const
{
    std::vector<std::string> result;
    std::ifstream in(folder_.file("logKLAV.txt"));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty())
            result.push_back(line);
    }
    return result;
}

int LogCapture::countContaining(const std::string &text) const
{
    int n = 0;
    for (const std::string &line : lines())
        n += line.find(text) != std::string::npos;
    return n;
}
