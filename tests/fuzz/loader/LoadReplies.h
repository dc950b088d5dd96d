#pragma once
// The terminal's side of the load fuzz target: replies cut from a byte
// string (a length byte, then that many bytes), and the database size the
// target loads (two data blocks).

#include <QByteArray>
#include <QList>

#include <cstddef>
#include <cstdint>

constexpr qint64 kFuzzDatabaseSize = 31000;

inline QList<QByteArray> splitReplies(const uint8_t *data, std::size_t size)
{
    QList<QByteArray> replies;
    for (std::size_t at = 0; at < size;) {
        const std::size_t length = std::min<std::size_t>(data[at++], size - at);
        replies.append(QByteArray(reinterpret_cast<const char *>(data + at), int(length)));
        at += length;
    }
    return replies;
}
