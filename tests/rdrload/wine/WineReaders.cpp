#include "WineReaders.h"

#include "TextFile.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace rdrload::testing {

namespace {

std::string journalFolder()
{
    const char *folder = std::getenv("KLAV_WINE_JOURNALS");
    return folder != nullptr ? folder : "";
}

} // namespace

bool wineReadersPresent()
{
    return !journalFolder().empty();
}

ReaderJournal::ReaderJournal(int port)
    : path_(journalFolder() + "/port" + std::to_string(port) + ".log"),
      from_(readLines(path_).size())
{
}

std::vector<std::string> ReaderJournal::newLines() const
{
    std::vector<std::string> lines = readLines(path_);
    if (lines.size() <= from_)
        return {};
    return std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(from_),
                                    lines.end());
}

bool ReaderJournal::waitForNewLine(const std::string &line, int timeoutMs) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        std::vector<std::string> lines = newLines();
        if (std::find(lines.begin(), lines.end(), line) != lines.end())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

} // namespace rdrload::testing
