#pragma once

#include <string>

// How the front end names the library's results and turns them into exit
// statuses. Exit statuses:
//   0        success (for an upload, any byte count)
//   1 to 18  the library's result code (OPEN_COM_PORT, TIMEOUT_ERROR, ...)
//   19       an update package refused by the reader
//   64       wrong command line
//   65       an input that the command refuses (e.g. a product-id file
//            that is not 32 bytes)
//   69       the library, or the export a command needs, is not available
//   70       a result the library does not document
//   73       the output file cannot be written
namespace exitstatus {
constexpr int kRefused = 19;
constexpr int kUsage = 64;
constexpr int kBadInput = 65;
constexpr int kUnavailable = 69;
constexpr int kUnknownResult = 70;
constexpr int kCannotWrite = 73;
} // namespace exitstatus

// What a result of an export can hold besides a result code.
enum class ResultKind {
    Code,      // 0 or a result code
    ByteCount, // also minus a byte count (uploads, reader queries, test mode)
    Update     // also 0xFF000000 + the reader's reason for refusing a package
};

// The label of a result code ("OPEN_COM_PORT", ...); empty when the code
// has none.
std::string resultLabel(int result);

// "0 OK", "6 TIMEOUT_ERROR", "-300 (300 bytes)" for a byte count,
// "0xff000003 REFUSED reason 3" for an update refusal.
std::string describeResult(int result, ResultKind kind);

// The exit status for a result (see above).
int exitStatusFor(int result, ResultKind kind);
