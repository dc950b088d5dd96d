#pragma once
// The request frame that announces a load to the terminal: which rows of
// R_DBINFO become entries, and the bytes of the frame.
//
//   pad byte, 0x40, LEN, 0x05 0x01 0x01 0x60, L, 0x80, k, size (k bytes,
//   most significant first), entries (tag 0x80 + number, text length, text),
//   CRC-16 low byte first
//
// LEN counts the bytes from offset 3 to the end of the entries and L the
// entry bytes; both must fit in one byte, so the selection stops before an
// entry that would make either too large. The size field describes sizes
// below 2^31 only; larger files are refused.
//
// Pure code: no terminal, no database, so it is tested and fuzzed directly.

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <functional>
#include <optional>

class KLAVRequestFrame {
public:
    // The selected entries: parallel lists of numbers (decimal texts 1 to 15)
    // and texts (UTF-8 bytes), in the order the rows were read.
    struct Entries {
        QList<QByteArray> numbers;
        QList<QByteArray> texts;
    };

    // Yields the next row of R_DBINFO, an empty list when there is none.
    using RowSource = std::function<QList<QByteArray>()>;

    static constexpr int kHeaderSize = 10;    // offsets 0 to 9, size field excluded
    static constexpr int kSelectionStart = 9; // the selection budget starts here
    static constexpr int kByteLimit = 255;    // what one length byte carries
    static constexpr std::int64_t kLargestFileSize = 0x7FFFFFFF;
    static constexpr int kFirstNumber = 1;
    static constexpr int kLastNumber = 15;

    // True when the size field can describe a file of size bytes.
    static bool fileSizeFits(std::int64_t size);

    // k: the fewest bytes that hold size (0 for an empty file).
    static int sizeFieldLength(std::int64_t size);

    // NUM_CONCEPT read as a decimal integer; 0 when it is not one.
    static int conceptNumber(const QByteArray &text);

    // Reads rows from nextRow until it yields an empty row or an entry would
    // make LEN or L overflow for a file of fileSize bytes; rows whose number
    // is not 1 to 15 are skipped. A missing second column reads as "".
    static Entries selectEntries(const RowSource &nextRow, std::int64_t fileSize);

    // The whole frame, CRC included. Empty (and logged) when the file size
    // cannot be described or the entries do not fit the length bytes; the
    // entries are paired by index, extra numbers or texts are ignored.
    static std::optional<QByteArray> encode(std::uint8_t padRequestByte, std::int64_t fileSize,
                                            const QList<QByteArray> &numbers,
                                            const QList<QByteArray> &texts);
};
