#pragma once

// Result codes of one load, shared by the protocol, the loading thread, the
// console mode (its exit status) and the window (its message boxes).
enum KLAVLoadResult {
    LOAD_OK = 0,
    LOAD_NOT_COHERENT = 1, // integrity check failed
    LOAD_FILE_NOT_OPENED =
        2,                // database file not opened, too large to describe, or unreadable mid-load
    LOAD_INIT_FAILED = 3, // initialisation reply held an unexpected byte
    LOAD_REQUEST_REFUSED = 4, // request frame not confirmed
    LOAD_NACK = 5,            // NACK with a message text
    LOAD_NACK_INCOMPLETE = 6, // NACK without its text
    LOAD_BLOCK_REFUSED = 7,   // data block refused
    LOAD_ENDING_FAILED = 8,   // ending frame not confirmed
    LOAD_END_OF_FILE = 9,     // whole file sent; never the final result
    LOAD_CANCELLED = 10,
    LOAD_NO_RESPONSE = 14, // empty reply to the initialisation or a data frame
};
