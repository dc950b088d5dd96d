#include "KLAVRequestFrame.h"

#include "KLAVCrc.h"
#include "base/KLAVLog.h"

#include <algorithm>

namespace {

constexpr char kControlByte = 0x40;
constexpr char kSizeTag = char(0x80);
constexpr unsigned kEntryTagBase = 0x80;
constexpr int kLenOffset = 2;
constexpr int kEntryLengthOffset = 7;
constexpr int kLenStart = 3; // LEN counts from this offset on

} // namespace

bool KLAVRequestFrame::fileSizeFits(std::int64_t size)
{
    return size >= 0 && size <= kLargestFileSize;
}

int KLAVRequestFrame::sizeFieldLength(std::int64_t size)
{
    int k = 0;
    for (std::uint64_t v = static_cast<std::uint64_t>(size); v != 0; v >>= 8)
        ++k;
    return k;
}

int KLAVRequestFrame::conceptNumber(const QByteArray &text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : 0;
}

KLAVRequestFrame::Entries KLAVRequestFrame::selectEntries(const RowSource &nextRow,
                                                          std::int64_t fileSize)
{
    // The budget counts 9 header bytes plus the entry bytes L and may not
    // pass 255; LEN = 7 + k + L must fit in a byte too, so the budget starts
    // at whichever of 9 and 7 + k is larger.
    const int budgetStart = std::max(kSelectionStart, kLenStart + 4 + sizeFieldLength(fileSize));
    int budget = budgetStart;
    Entries entries;
    for (QList<QByteArray> row = nextRow(); !row.isEmpty(); row = nextRow()) {
        const int number = conceptNumber(row.at(0));
        if (number < kFirstNumber || number > kLastNumber) {
            writeLog(LOG_INFO, "Read an invalid line from R_DBINFO : NUM_CONCEPT is out of range");
            continue;
        }
        writeLog(LOG_INFO, "Read a valid line from R_DBINFO");
        const QByteArray text = row.size() > 1 ? row.at(1) : QByteArray();
        // Compared before adding, so a huge text cannot overflow the sum.
        if (text.size() > kByteLimit - 2 - budget)
            break; // this row and every later one are left out
        budget += 2 + text.size();
        entries.numbers.append(row.at(0));
        entries.texts.append(text);
    }
    return entries;
}

std::optional<QByteArray> KLAVRequestFrame::encode(std::uint8_t padRequestByte,
                                                   std::int64_t fileSize,
                                                   const QList<QByteArray> &numbers,
                                                   const QList<QByteArray> &texts)
{
    if (!fileSizeFits(fileSize)) {
        writeLog(
            LOG_ERROR,
            "Database file of %lld bytes is too large for the request frame (limit %lld bytes)",
            static_cast<long long>(fileSize), static_cast<long long>(kLargestFileSize));
        return std::nullopt;
    }
    const int entryCount = std::min(numbers.size(), texts.size());
    const int k = sizeFieldLength(fileSize);
    std::int64_t entryBytes = 0;
    for (int j = 0; j < entryCount; ++j)
        entryBytes += 2 + texts.at(j).size();
    if (kLenStart + 4 + k + entryBytes > kByteLimit) {
        writeLog(LOG_ERROR, "Entries of %lld bytes do not fit in the request frame",
                 static_cast<long long>(entryBytes));
        return std::nullopt;
    }

    QByteArray frame;
    frame.reserve(kHeaderSize + k + int(entryBytes) + 2);
    frame.append(char(padRequestByte));
    frame.append(kControlByte);
    frame.append('\0'); // LEN, filled in below
    frame.append("\x05\x01\x01\x60", 4);
    frame.append('\0'); // L, filled in below
    frame.append(kSizeTag);

    const auto size = static_cast<std::uint32_t>(fileSize);
    writeLog(LOG_INFO, "File size = %d, We need %d bytes", int(size), k);
    frame.append(char(k));
    for (int j = k - 1; j >= 0; --j) {
        const auto byte = static_cast<unsigned>((size >> (8 * j)) & 0xFFu);
        writeLog(LOG_INFO, "A byte got : %02X", byte);
        frame.append(char(byte));
    }

    for (int j = 0; j < entryCount; ++j) {
        const unsigned tag = (unsigned(conceptNumber(numbers.at(j))) + kEntryTagBase) & 0xFFu;
        frame.append(char(tag));
        frame.append(char(texts.at(j).size()));
        frame.append(texts.at(j));
    }

    frame[kLenOffset] = char(frame.size() - kLenStart);
    frame[kEntryLengthOffset] = char(entryBytes);
    KLAVCrc::appendCrc(frame);
    return frame;
}
