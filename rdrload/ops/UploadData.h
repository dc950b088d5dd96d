#pragma once

#include "api/rdrload.h"

#include <cstdint>

namespace rdrload {

// Reads one data block of type `letter` from the reader on COM `port`:
// double break, request '6', the letter, a 2-byte little-endian length and
// the data, each step acknowledged. Copies the data to the start of
// `buffer` and returns minus its length (0 for an empty answer); 12 for a
// null buffer, 11 when the length is greater than `size` (compared as
// signed numbers: with a negative size not even an empty answer fits), or
// the link result of the failing step. Progress: 13
// reports "UploadData\n", done rising by 20 to 260 of a constant 260.
int UploadData(unsigned char *buffer, char letter, int size, int port, ProgressCallback callback);

// How long the reader has to acknowledge the letter and send its length
// and data: 20 s for the slow types 'R', 'C', 'E', 'M', 'J', else 10 s.
uint32_t uploadAnswerTimeout(char letter);

} // namespace rdrload
