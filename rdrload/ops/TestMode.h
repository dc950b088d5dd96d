#pragma once

#include <cstdint>

namespace rdrload {

// Runs reader test `test` on COM `port` and collects its report: double
// break, request 'T', the test number, then the reader's status byte
// (within 90 s for test 0xFF, else 30 s), a 2-byte little-endian report
// length and the report, each acknowledged. Stores the status byte, the
// length and the report in `buffer` and returns minus the bytes stored
// (length + 3); 12 for a null buffer, 11 when they do not fit `size` bytes
// (a negative size counts as 0), 7 for a failed request write, or the link
// result of the failing step.
int TestMode(char test, unsigned char *buffer, int size, int port);

// How long the reader may take to run test `test` before its status byte.
uint32_t testStatusTimeout(char test);

} // namespace rdrload
