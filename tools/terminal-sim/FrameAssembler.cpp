#include "FrameAssembler.h"

void FrameAssembler::append(const uint8_t *data, size_t size)
{
    buffer_.insert(buffer_.end(), data, data + size);
}

size_t FrameAssembler::commandLength(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    switch (data[0]) {
    case 0x0D:
        return 1;
    case 0x01:
        return size < 3 ? 0 : 3 + (size_t(data[1]) << 8 | data[2]);
    case 0x02:
        return 3;
    default:
        break;
    }
    if ((data[0] & 0x0F) != 0x0F)
        return kUnknownLength;
    if (size < 2)
        return 0;
    if (data[1] == 0xC0)
        return 9;
    if (data[1] != 0x40)
        return kUnknownLength;
    // Request: the entry length (offset 7) and the size field's length
    // (offset 9) give the whole, CRC included.
    if (size < 10)
        return 0;
    if (data[9] > 4)
        return kUnknownLength;
    return 10 + size_t(data[9]) + data[7] + 2;
}

bool FrameAssembler::takeComplete(std::vector<uint8_t> &command)
{
    size_t length = commandLength(buffer_.data(), buffer_.size());
    if (length == 0 || length == kUnknownLength || length > buffer_.size())
        return false;
    command.assign(buffer_.begin(), buffer_.begin() + long(length));
    buffer_.erase(buffer_.begin(), buffer_.begin() + long(length));
    return true;
}

bool FrameAssembler::takeQuiet(std::vector<uint8_t> &command)
{
    if (buffer_.empty())
        return false;
    command.swap(buffer_);
    buffer_.clear();
    return true;
}
