#pragma once

#include "CommandRun.h"

#include <string>

namespace rdrload::testing {

// One run of the rdrload front end (RDRLOAD_FRONTEND) on the built library,
// to its end: exit status and what it wrote.
struct FrontEndRun {
    int status = -1;
    std::string output; // standard output
    std::string errors; // standard error
};

// Runs `rdrload --library <built library> ARGUMENTS` (ARGUMENTS as a shell
// would split them) with standard input from /dev/null.
FrontEndRun runFrontEnd(const std::string &arguments);

// A COM number for a simulated reader: /dev/COM<n> made a link to `device`
// for the object's lifetime. The number is one no other link holds (the
// link is made exclusively); number() is 0 when no link could be made
// (not root), and the test should then be skipped.
class ComLink {
public:
    explicit ComLink(const std::string &device);
    ~ComLink();
    ComLink(const ComLink &) = delete;
    ComLink &operator=(const ComLink &) = delete;

    int number() const { return number_; }
    std::string port() const { return std::to_string(number_); }

private:
    int number_ = 0;
    std::string path_;
};

} // namespace rdrload::testing
