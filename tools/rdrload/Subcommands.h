#pragma once

#include "RdrloadLibrary.h"

#include <cstdio>
#include <string>
#include <vector>

// What every subcommand works with: the loaded library, where results and
// progress go, and whether that is a terminal (a bar) or not (lines).
struct HostContext {
    RdrloadLibrary &library;
    std::FILE *out;
    std::FILE *err;
    bool terminal;
};

// One subcommand of the front end: its words, help and runner. The runner
// gets the subcommand's own arguments and returns the exit status.
struct Subcommand {
    const char *name;
    const char *synopsis; // the arguments, after "rdrload NAME"
    const char *help;     // what it does and its options
    std::vector<std::string> valueOptions;
    std::vector<std::string> flagOptions;
    int (*run)(HostContext &host, const std::vector<std::string> &arguments);
};

const std::vector<Subcommand> &subcommands();
// The subcommand called `name`, or null.
const Subcommand *findSubcommand(const std::string &name);
void printSubcommandHelp(const Subcommand &command, std::FILE *out);
