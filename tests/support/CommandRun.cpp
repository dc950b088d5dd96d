#include "CommandRun.h"

#include <cstdio>
#include <sys/wait.h>

namespace rdrload::testing {

CommandRun runCommand(const std::string &command)
{
    CommandRun run;
    FILE *pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
        run.output.append(chunk, got);
    const int raw = ::pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

std::string quoted(const std::string &text)
{
    return "'" + text + "'";
}

} // namespace rdrload::testing
