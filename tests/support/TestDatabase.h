#pragma once
// Builds the SQLite files the database tests read, through a connection of
// its own (never the default one that KLAVDbManager uses).

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace TestDatabase {

// Runs statements on a new database at path; false (with a test failure
// message in *error) when one fails.
bool create(const QString &path, const QStringList &statements, QString *error = nullptr);

// A sound database: R_DBINFO with three rows and a table "filler" of
// fillerRows rows of 200 bytes, spread over many pages.
bool createValid(const QString &path, int fillerRows = 300);

// A database whose indexes point at each other's pages: every page is
// readable but "PRAGMA INTEGRITY_CHECK" reports missing index rows.
bool createWithSwappedIndexes(const QString &path);

// A sound database of exactly size bytes (at least 1024, or 0 for an empty
// file, which SQLite reads as an empty database): a small SQLite file with an
// R_DBINFO table, followed by filler bytes that SQLite never reads.
bool createOfSize(const QString &path, qint64 size);

// The whole content of a file, empty when it cannot be read.
QByteArray contents(const QString &path);
bool write(const QString &path, const QByteArray &bytes);

// Files in a folder, sorted.
QStringList listing(const QString &folder);

} // namespace TestDatabase
