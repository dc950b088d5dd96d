#pragma once

#include <string>

namespace rdrload::testing {

// One shell command run to its end: its exit status (-1 when it could not
// be started or did not exit normally) and its standard output.
struct CommandRun {
    int status = -1;
    std::string output;
};

// Runs `command` through the shell and waits for its end.
CommandRun runCommand(const std::string &command);

// 'text' for the shell.
std::string quoted(const std::string &text);

} // namespace rdrload::testing
