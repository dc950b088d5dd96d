#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace readersim {

// One boot record as the boot loader reads it.
struct BootRecord {
    uint32_t address = 0;
    uint8_t lengthAndFlags = 0;
    std::vector<uint8_t> data;

    static constexpr uint8_t kFlagsMask = 0xC0;
    static constexpr uint8_t kRegisterFlags = 0xC0;

    uint8_t flags() const { return lengthAndFlags & kFlagsMask; }
    bool isCommand() const { return data.empty(); }
    bool isRegisterWrite() const { return flags() == kRegisterFlags && !data.empty(); }
};

// Cuts the boot loader's character stream into records. A record has no
// separator or terminator: 8 hex digits of address, 2 of (length OR flags),
// then two per data byte, the length being the low 6 bits. Only upper-case
// hexadecimal digits belong to a record.
class BootRecordParser {
public:
    enum class Step {
        Partial,  // the character was taken; the record goes on
        Complete, // the character ended a record: see record()
        Invalid   // not a record character: the partial record is dropped
    };

    Step take(uint8_t character);
    // The record the last Complete step ended.
    const BootRecord &record() const { return record_; }
    // Whether the next character starts a new record.
    bool atRecordStart() const { return digits_.empty(); }
    void reset() { digits_.clear(); }

private:
    static constexpr std::size_t kHeaderDigits = 10;
    static constexpr uint8_t kLengthMask = 0x3F;

    void finishHeader();

    std::string digits_;
    std::size_t recordDigits_ = kHeaderDigits;
    BootRecord record_;
};

} // namespace readersim
