#pragma once
// Exit status of the console mode, and its "Result code" line: the load's
// result when a load ran, else why none ran. One number space: a load's
// results keep their numbers, the command line's refusals and a port
// without a terminal take numbers no load returns, except a database file
// that cannot be opened, which is the load's own 2 whoever finds it.

#include "load/KLAVLoadResult.h"

enum class KLAVExitStatus {
    LOAD_OK = ::LOAD_OK,
    LOAD_NOT_COHERENT = ::LOAD_NOT_COHERENT,
    LOAD_FILE_NOT_OPENED = ::LOAD_FILE_NOT_OPENED,
    LOAD_INIT_FAILED = ::LOAD_INIT_FAILED,
    LOAD_REQUEST_REFUSED = ::LOAD_REQUEST_REFUSED,
    LOAD_NACK = ::LOAD_NACK,
    LOAD_NACK_INCOMPLETE = ::LOAD_NACK_INCOMPLETE,
    LOAD_BLOCK_REFUSED = ::LOAD_BLOCK_REFUSED,
    LOAD_ENDING_FAILED = ::LOAD_ENDING_FAILED,
    LOAD_END_OF_FILE = ::LOAD_END_OF_FILE, // never the final result of a load
    LOAD_CANCELLED = ::LOAD_CANCELLED,
    LOAD_NO_RESPONSE = ::LOAD_NO_RESPONSE,

    ARGS_DATABASE_MISSING = ::LOAD_FILE_NOT_OPENED, // no readable file at the database path
    ARGS_INVALID = 11,                              // wrong words or number of words
    ARGS_INVALID_PAD = 12,                          // PAD number outside 1 to 14
    DEVICE_NOT_FOUND = 13,                          // no terminal reports the port named
};

// The status of a load that ran, from its result code.
constexpr KLAVExitStatus exitStatusOfLoad(int loadResult)
{
    return static_cast<KLAVExitStatus>(loadResult);
}

// The number the process exits with and the console prints.
constexpr int exitCode(KLAVExitStatus status)
{
    return static_cast<int>(status);
}

// The numbers of their own stay clear of every result a load returns.
static_assert(LOAD_END_OF_FILE < 11 && LOAD_CANCELLED < 11 && LOAD_NO_RESPONSE > 13,
              "the console's own exit statuses 11 to 13 must not be results of a load");
