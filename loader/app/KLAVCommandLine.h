#pragma once
// Console mode's command line: KLAVCharger <database> <port> [PAD number].

#include "KLAVExitStatus.h"
#include "base/KLAVRunMode.h"

#include <string>
#include <vector>

// Checks the words of the command line (program name first) and runs the
// console load when they are valid. Returns the process's exit status: the
// refusal (ARGS_*), or what the console load returned.
KLAVExitStatus analyzeArgs(std::vector<std::string> args);

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
