// A run of the program's log as a test needs it: opens the log in FOLDER,
// says so by creating FOLDER/ready-TAG, waits for FOLDER/go, then writes
// COUNT lines "TAG line N" padded to PAD bytes, and ends.
//
//   klav-log-writer FOLDER TAG COUNT PAD

#include "base/KLAVLog.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char *argv[])
{
    if (argc != 5)
        return 64;
    const std::string folder = argv[1];
    const std::string tag = argv[2];
    const int count = std::atoi(argv[3]);
    const std::string padding(std::size_t(std::atoi(argv[4])), '.');
    openLogFile("1", folder);
    std::ofstream(folder + "/ready-" + tag).flush();
    while (!std::ifstream(folder + "/go"))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    for (int i = 0; i < count; ++i)
        writeLog(LOG_INFO, "%s line %d %s", tag.c_str(), i, padding.c_str());
    closeLogFile();
    return 0;
}
