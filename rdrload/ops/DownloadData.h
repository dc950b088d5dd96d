#pragma once

namespace rdrload {

// Writes one data block of type `letter` to the reader on COM `port`:
// double break, request '5', the letter, a 2-byte little-endian length and
// the data, each acknowledged. Returns 0; 12 for null data with a length
// above 0 and 10 for a length outside 0 to 65535 (the length field has 16
// bits), both before the port is opened; 18 for a failed write, or the
// link result of the failing step.
int DownloadData(const unsigned char *data, int length, char letter, int port);

} // namespace rdrload
