// Entry selection and request-frame encoding over arbitrary R_DBINFO rows
// and file sizes. The input is read as: 8 bytes file size (little endian),
// 1 byte PAD byte, then rows of: column count (low 2 bits), then per column
// a length byte and that many bytes. A row of 0 columns ends the table.
// Every frame produced is decoded again and must describe exactly the rows
// the selection kept.

#include "load/KLAVCrc.h"
#include "load/KLAVRequestFrame.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

struct Reader {
    const std::uint8_t *data;
    std::size_t size;
    std::size_t at = 0;
    bool more() const { return at < size; }
    std::uint8_t byte() { return at < size ? data[at++] : 0; }
    QByteArray take(std::size_t n)
    {
        n = std::min(n, size - at);
        QByteArray out(reinterpret_cast<const char *>(data + at), int(n));
        at += n;
        return out;
    }
};

void require(bool condition)
{
    if (!condition)
        std::abort();
}

bool validNumber(const QByteArray &text)
{
    bool ok = false;
    const int n = text.toInt(&ok, 10);
    return ok && n >= 1 && n <= 15;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Reader in{data, size};
    std::uint64_t rawSize = 0;
    for (int i = 0; i < 8; ++i)
        rawSize |= std::uint64_t(in.byte()) << (8 * i);
    // Mostly realistic sizes, sometimes anything at all.
    const std::int64_t fileSize =
        (rawSize & 1) ? std::int64_t(rawSize) : std::int64_t(rawSize >> 33);
    const std::uint8_t pad = in.byte();

    std::vector<QList<QByteArray>> rows;
    while (in.more()) {
        const int columns = in.byte() & 3;
        if (columns == 0)
            break;
        QList<QByteArray> row;
        for (int c = 0; c < columns; ++c)
            row.append(in.take(in.byte()));
        rows.push_back(row);
    }

    std::size_t next = 0;
    const auto entries = KLAVRequestFrame::selectEntries(
        [&]() -> QList<QByteArray> {
            return next < rows.size() ? rows[next++] : QList<QByteArray>();
        },
        fileSize);
    require(entries.numbers.size() == entries.texts.size());

    // The kept entries are the valid rows read, in order, none left out
    // before the last one kept.
    int kept = 0;
    for (std::size_t r = 0; r < next && r < rows.size() && kept < entries.numbers.size(); ++r) {
        if (!validNumber(rows[r].at(0)))
            continue;
        require(entries.numbers.at(kept) == rows[r].at(0));
        require(entries.texts.at(kept) == rows[r].value(1));
        ++kept;
    }
    require(kept == entries.numbers.size());

    const auto frame = KLAVRequestFrame::encode(pad, fileSize, entries.numbers, entries.texts);
    if (!KLAVRequestFrame::fileSizeFits(fileSize)) {
        require(!frame.has_value());
        return 0;
    }
    require(frame.has_value());
    const QByteArray &f = *frame;
    const auto at = [&f](int i) { return std::uint8_t(f.at(i)); };

    require(f.size() >= 12 && f.size() <= 3 + 255 + 2);
    require(at(0) == pad && at(1) == 0x40 && at(3) == 0x05 && at(4) == 0x01 && at(5) == 0x01 &&
            at(6) == 0x60 && at(8) == 0x80);
    require(at(2) == f.size() - 5);
    require(KLAVCrc::computeCrc(f.constData(), std::size_t(f.size() - 2)) == f.right(2));

    const int k = at(9);
    require(k <= 4);
    std::uint64_t described = 0;
    for (int i = 0; i < k; ++i)
        described = (described << 8) | at(10 + i);
    require(described == std::uint64_t(fileSize));
    require(k == 0 || at(10) != 0);

    int pos = 10 + k;
    const int entryEnd = f.size() - 2;
    require(at(7) == entryEnd - pos);
    for (int e = 0; e < entries.numbers.size(); ++e) {
        require(pos + 2 <= entryEnd);
        require(at(pos) == 0x80 + entries.numbers.at(e).toInt());
        const int length = at(pos + 1);
        require(f.mid(pos + 2, length) == entries.texts.at(e));
        pos += 2 + length;
    }
    require(pos == entryEnd);
    return 0;
}
