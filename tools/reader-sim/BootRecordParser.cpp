#include "BootRecordParser.h"

namespace readersim {

namespace {

int digitValue(uint8_t character)
{
    if (character >= '0' && character <= '9')
        return character - '0';
    if (character >= 'A' && character <= 'F')
        return character - 'A' + 10;
    return -1;
}

// The value of `count` hex digits of `text` from `at` (all already checked).
uint32_t hexValue(const std::string &text, std::size_t at, std::size_t count)
{
    uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i)
        value =
            (value << 4) | static_cast<uint32_t>(digitValue(static_cast<uint8_t>(text[at + i])));
    return value;
}

} // namespace

BootRecordParser::Step BootRecordParser::take(uint8_t character)
{
    if (digitValue(character) < 0) {
        digits_.clear();
        return Step::Invalid;
    }
    digits_ += static_cast<char>(character);
    if (digits_.size() == kHeaderDigits)
        finishHeader();
    if (digits_.size() < kHeaderDigits || digits_.size() < recordDigits_)
        return Step::Partial;
    for (std::size_t i = kHeaderDigits; i < recordDigits_; i += 2)
        record_.data.push_back(static_cast<uint8_t>(hexValue(digits_, i, 2)));
    digits_.clear();
    return Step::Complete;
}

void BootRecordParser::finishHeader()
{
    record_ = BootRecord();
    record_.address = hexValue(digits_, 0, 8);
    record_.lengthAndFlags = static_cast<uint8_t>(hexValue(digits_, 8, 2));
    recordDigits_ = kHeaderDigits + 2u * (record_.lengthAndFlags & kLengthMask);
}

} // namespace readersim
