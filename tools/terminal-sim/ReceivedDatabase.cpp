#include "ReceivedDatabase.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

std::string receivedDatabasePath(const std::string &pattern, int load)
{
    std::string path = pattern;
    const std::string number = std::to_string(load);
    for (size_t at = path.find("%n"); at != std::string::npos; at = path.find("%n", at)) {
        path.replace(at, 2, number);
        at += number.size();
    }
    return path;
}

bool writeReceivedDatabase(const CompletedLoad &load, const std::string &pattern, FrameLog &log,
                           std::string &error)
{
    const std::string path = receivedDatabasePath(pattern, load.number);
    const std::string partial = path + ".part";
    FILE *file = std::fopen(partial.c_str(), "wb");
    bool ok = file != nullptr;
    if (ok && !load.data.empty())
        ok = std::fwrite(load.data.data(), 1, load.data.size(), file) == load.data.size();
    if (file && std::fclose(file) != 0)
        ok = false;
    if (ok && std::rename(partial.c_str(), path.c_str()) != 0)
        ok = false;
    if (!ok) {
        error = path + ": " + std::strerror(errno);
        std::remove(partial.c_str());
        log.note("cannot write " + error);
        return false;
    }
    log.note("load " + std::to_string(load.number) + " written to " + path);
    return true;
}
