#pragma once
// Files named by the bytes the platform uses for file names. A name that is
// not valid in the locale's encoding (legal on Linux) cannot pass through a
// QString unchanged, so the database path stays in bytes from the command
// line to the open call.

#include <QByteArray>

class QFile;

// Opens path for reading into file (which then owns the open file). False,
// with file left closed, when path is not a regular file or cannot be opened.
bool openRegularFile(const QByteArray &path, QFile &file);

// path made absolute against the current folder, still in bytes.
QByteArray absoluteFileName(const QByteArray &path);
