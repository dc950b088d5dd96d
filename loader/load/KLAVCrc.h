#pragma once
// Check bytes of the framed terminal exchanges (initialisation and request
// frames and their replies): CRC-16/KERMIT, i.e. the reflected polynomial
// 0x8408, initial value 0, no final exclusive-or, sent low byte first.

#include <QByteArray>

#include <cstddef>
#include <cstdint>

class KLAVCrc {
public:
    // The 16-bit check value of count bytes.
    static std::uint16_t checksum(const char *bytes, std::size_t count);

    // The two check bytes of count bytes, low byte first.
    static QByteArray computeCrc(const char *bytes, std::size_t count);

    // Appends the two check bytes of the whole of frame to it.
    static void appendCrc(QByteArray &frame);
};
