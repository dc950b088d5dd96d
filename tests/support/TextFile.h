#pragma once

#include <string>
#include <vector>

namespace rdrload::testing {

// The whole contents of a file (empty when it does not exist).
std::string readText(const std::string &path);
std::vector<unsigned char> readBytes(const std::string &path);

// Writes text as the whole contents of the file at path; returns path.
std::string writeText(const std::string &path, const std::string &text);

// The lines of a text file (none when it does not exist).
std::vector<std::string> readLines(const std::string &path);

// Waits up to timeoutMs for `line` to appear in the file; whether it did.
bool waitForLine(const std::string &path, const std::string &line, int timeoutMs);

} // namespace rdrload::testing
