#pragma once
// What a process holds open at a moment: its file descriptors and its
// threads, read from /proc/self. Fault tests compare the counts before and
// after an operation to show it released everything it took.

#include <chrono>
#include <dirent.h>
#include <string>
#include <thread>

namespace ProcessCounts {

inline int entries(const char *folder)
{
    DIR *dir = opendir(folder);
    if (!dir)
        return -1;
    int count = 0;
    while (dirent *entry = readdir(dir))
        if (entry->d_name[0] != '.')
            ++count;
    closedir(dir);
    return count - (std::string(folder) == "/proc/self/fd" ? 1 : 0); // the listing's own
}

inline int openFiles()
{
    return entries("/proc/self/fd");
}

// A joined thread may take a moment to leave the kernel's list: waits for
// the count to come down to `expected`, at most `limitMs`.
inline int threadsSettledAt(int expected, int limitMs = 2000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    int count = entries("/proc/self/task");
    while (count > expected && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        count = entries("/proc/self/task");
    }
    return count;
}

} // namespace ProcessCounts
