#pragma once
// The reader of the rdrload fuzz target and its seed generator: replies
// taken in turn from a byte string (a length byte, then that many bytes),
// one after each write of the host; silence once they run out. Also runs
// the operation a fuzz input chooses.

#include "ReaderScript.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rdrload::testing {

enum FuzzOperation {
    kOpApplication,
    kOpApplicationSlow,
    kOpFirmware,
    kOpFirmLoader,
    kOpUpdate,
    kOpPacket,
    kOpUpload,
    kOpDownload,
    kOpReaderPid,
    kOpReaderType,
    kOpTestMode,
    kOpCount
};

constexpr unsigned char kFuzzPort = 3;

class ReplyScript : public ReaderScript {
public:
    ReplyScript(const uint8_t *data, std::size_t size) : data_(data), size_(size) {}
    void onWrite(FakePort &port, const Bytes &) override;

private:
    const uint8_t *data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// Runs operation `op` through its export on kFuzzPort; its result.
int runOperation(int op, std::vector<unsigned char> &image, void (*progress)(void *));

} // namespace rdrload::testing
