#pragma once

#include <ctime>

namespace rdrload {

// The reader serial number the library reports: the fixed text
// "0123456789" with its terminating zero (11 bytes), copied into `buffer`.
// The reader is not asked. Returns 0, or 12 for a null buffer.
int copySerialNumber(char *buffer);

// The host's local time now, in a record of the calling thread: valid until
// the next call on the same thread, never shared between threads, never
// freed by the caller. Its daylight-saving field is -1 (unknown).
std::tm *clientTime();

} // namespace rdrload
