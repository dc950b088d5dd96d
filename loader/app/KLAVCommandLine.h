#pragma once
// Console mode's command line: KLAVCharger <database> <port> [PAD number].

#include "base/KLAVRunMode.h"

#include <string>
#include <vector>

// Result codes of the argument check (the load's own codes pass through).
enum KLAVArgsResult {
    ARGS_DATABASE_MISSING = 2,
    ARGS_INVALID = 11,
    ARGS_INVALID_PAD = 12,
};

// Checks the words of the command line (program name first) and runs the
// console load when they are valid. Returns the process's exit status.
int analyzeArgs(std::vector<std::string> args);

// The program's own words of the command line: argv with the options Qt's
// application object takes for itself (-platform X, -style=X, -reverse, ...)
// left out, so they never count as a database path or choose the console.
// Such an option as the last word, without the value it needs, stays a word
// of the command line: the console refuses it with the usage text.
std::vector<std::string> programArguments(int argc, char *argv[]);

// Prints the usage text.
void putInstructions();

// The standard atol conversion, without its undefined behaviour on overflow.
long parsePadNumber(const std::string &text);
