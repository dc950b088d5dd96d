#pragma once
// The diagnostic log for the Windows test program: writeLog keeps each
// message in memory (the file log needs Qt, which this build does not have),
// so the tests read back the lines the ports wrote.

#include <string>
#include <vector>

namespace wine_log {

// Forgets what was written so far.
void clear();
// Every message since the last clear(), in order.
std::vector<std::string> messages();
// Index of the first message equal to text at or after from, or -1.
int find(const std::string &text, int from = 0);

} // namespace wine_log
