// Reader bytes into every rdrload operation. The first byte chooses the
// operation, the second sizes the image it sends; the rest is the reader's
// side, cut into replies (a length byte, then that many bytes), one reply
// sent after each write of the host. Ports are fakes on a virtual clock, so
// every time-out passes at once. Whatever the reader says, the operation
// returns one of its result codes and leaves the port closed.

#include "FakeLinkEnvironment.h"
#include "ReplyScript.h"

#include "api/rdrload.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace rdrload::testing;

namespace {

void __stdcall ignoreProgress(void *) {}

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// A result the exports document: 0, a result code, minus a byte count, or
// 0xFF000000 plus a reason byte for a refused update.
bool documentedResult(int result, int op)
{
    if (result >= 0 && result <= OTHER_ERROR)
        return true;
    if ((op == kOpUpload || op == kOpReaderPid || op == kOpReaderType || op == kOpTestMode) &&
        result < 0)
        return true;
    return op == kOpUpdate && (unsigned(result) & 0xFFFFFF00u) == 0xFF000000u;
}

} // namespace

// The packet download tells standard output between its parts; libFuzzer
// reports on standard error.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    return std::freopen("/dev/null", "w", stdout) ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const int op = data[0] % kOpCount;
    std::vector<unsigned char> image(16u * (data[1] % 64) + (data[1] >> 6));
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<unsigned char>(i * 7 + 1);

    FakeLinkEnvironment env;
    ReplyScript reader(data + 2, size - 2);
    FakePort &port = env.serial.port(kFuzzPort);
    port.setReader(&reader);

    const int result = runOperation(op, image, ignoreProgress);
    require(documentedResult(result, op));
    require(!port.isOpen());
    return 0;
}
