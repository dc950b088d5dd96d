#include "KLAVCrc.h"

#include <array>

namespace {

constexpr std::uint16_t kReflectedPolynomial = 0x8408;

constexpr std::array<std::uint16_t, 256> makeTable()
{
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned x = i;
        for (int bit = 0; bit < 8; ++bit)
            x = (x & 1u) ? (x >> 1) ^ kReflectedPolynomial : x >> 1;
        table[i] = static_cast<std::uint16_t>(x);
    }
    return table;
}

// Built by the compiler: no first-use race between threads is possible.
constexpr std::array<std::uint16_t, 256> kTable = makeTable();

} // namespace

std::uint16_t KLAVCrc::checksum(const char *bytes, std::size_t count)
{
    unsigned r = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned b = static_cast<unsigned char>(bytes[i]);
        r = (r >> 8) ^ kTable[(r ^ b) & 0xFFu];
    }
    return static_cast<std::uint16_t>(r);
}

QByteArray KLAVCrc::computeCrc(const char *bytes, std::size_t count)
{
    const std::uint16_t r = checksum(bytes, count);
    QByteArray out(2, '\0');
    out[0] = static_cast<char>(r & 0xFFu);
    out[1] = static_cast<char>(r >> 8);
    return out;
}

void KLAVCrc::appendCrc(QByteArray &frame)
{
    frame.append(computeCrc(frame.constData(), static_cast<std::size_t>(frame.size())));
}
