#pragma once
// The bulk-message side of a one-slot CCID reader without a card: each
// PC_to_RDR message in, its RDR_to_PC answer out. Slot status, power on and
// off, parameters and card exchanges are answered as a reader with an empty
// slot answers them; escape messages go to the PC/SC test reader (the
// simulated terminal behind it), whose answer becomes the escape answer's
// data. Not thread-safe: one bulk endpoint feeds it.

#include "TestReader.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class CcidReader {
public:
    static constexpr size_t kHeaderSize = 10;
    // dwMaxCCIDMessageLength of the class descriptor: header and data.
    static constexpr uint32_t kMaxMessageLength = 65544;

    explicit CcidReader(TestReader &reader) : reader_(reader) {}

    // A whole message (header and dwLength data bytes); the answer.
    std::vector<uint8_t> answer(const std::vector<uint8_t> &message);

    // The 54-byte CCID class descriptor of the reader's interface.
    static std::vector<uint8_t> classDescriptor();

private:
    TestReader &reader_;
};
