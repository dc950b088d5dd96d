#pragma once
// Reads a fuzz input as a series of fields: single bytes, pieces of a given
// length (shorter at the end of the input), and the rest. Reading past the
// end gives zeros and empty pieces.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

class FuzzInput {
public:
    FuzzInput(const uint8_t *data, std::size_t size) : data_(data), size_(size) {}

    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::string chunk(std::size_t length)
    {
        length = std::min(length, size_ - at_);
        std::string piece(reinterpret_cast<const char *>(data_ + at_), length);
        at_ += length;
        return piece;
    }
    std::string rest() { return chunk(size_ - at_); }
    bool more() const { return at_ < size_; }

private:
    const uint8_t *data_;
    std::size_t size_;
    std::size_t at_ = 0;
};
