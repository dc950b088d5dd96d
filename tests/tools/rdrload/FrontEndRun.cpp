#include "FrontEndRun.h"

#include "TempFolder.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <unistd.h>

namespace rdrload::testing {

FrontEndRun runFrontEnd(const std::string &arguments)
{
    FrontEndRun run;
    TempFolder folder;
    const std::string errorsPath = folder.file("stderr");
    const std::string command = std::string(RDRLOAD_FRONTEND) + " --library " +
                                quoted(RDRLOAD_LIBRARY) + " " + arguments + " </dev/null 2>" +
                                quoted(errorsPath);
    const CommandRun ran = runCommand(command);
    run.status = ran.status;
    run.output = ran.output;
    std::ifstream errors(errorsPath);
    run.errors.assign(std::istreambuf_iterator<char>(errors), std::istreambuf_iterator<char>());
    return run;
}

ComLink::ComLink(const std::string &device)
{
    // High numbers, away from real ports; start where this process's id
    // points so that parallel runs rarely try the same links.
    constexpr int kFirst = 180;
    constexpr int kCount = 77;
    const int start = static_cast<int>(::getpid() % kCount);
    for (int i = 0; i < kCount; ++i) {
        const int number = kFirst + (start + i) % kCount;
        const std::string path = "/dev/COM" + std::to_string(number);
        if (::symlink(device.c_str(), path.c_str()) == 0) {
            number_ = number;
            path_ = path;
            return;
        }
        if (errno != EEXIST)
            return;
    }
}

ComLink::~ComLink()
{
    if (!path_.empty())
        ::unlink(path_.c_str());
}

} // namespace rdrload::testing
