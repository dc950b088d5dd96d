#pragma once
// The loader's access to the SQLite database that is loaded into a terminal:
// the integrity check that decides whether a load may start, the path of the
// file (which the loading protocol then reads raw), and the rows of a table
// read as texts.
//
// The file is opened read-only and as immutable: checking or loading a
// database never creates a file at a mistyped path, never rolls back a
// journal in the user's file and leaves no -wal/-shm files beside it. An
// immutable open reads the main file alone, so the check and the rows
// describe exactly the bytes that are sent to the terminal. As an immutable
// open also ignores other programs' locks and journals, pendingWrite() tells
// first whether the main file alone is the whole database.
//
// Each manager has a connection of its own, under a name of its own. The
// connection is opened by the first read, so on the thread that runs the load,
// and close() ends it on that same thread (a Qt SQL connection belongs to the
// thread that opened it). Copies share the connection and the cursor.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <memory>

class KLAVDbManager {
public:
    // A row: one text per column, in column order (UTF-8; NULL reads as "").
    using Row = QList<QByteArray>;
    // A column: (name, declared type).
    using Field = QPair<QByteArray, QByteArray>;

    // Empty path, invalid connection, inactive cursor: a placeholder that is
    // overwritten by assignment before use.
    KLAVDbManager();
    // The database at path (bytes, as the platform names files). It is opened
    // by the first read; the outcome is only logged, and reads of a database
    // that did not open return nothing.
    explicit KLAVDbManager(const QByteArray &path);
    virtual ~KLAVDbManager();

    KLAVDbManager(const KLAVDbManager &) = default;
    KLAVDbManager &operator=(const KLAVDbManager &) = default;

    // What another program writing the database leaves beside the file.
    enum class PendingWrite {
        None,    // the file alone holds every committed change
        Journal, // a rollback journal with a live header: a write
                 // transaction is open, or was cut short, and the file may
                 // hold changes that are to be rolled back
        Wal,     // a write-ahead log with content: committed changes that
                 // may not be in the file yet
    };
    // Looked at in the file system alone: nothing is opened for writing and
    // nothing is created.
    PendingWrite pendingWrite() const;

    // True only when "PRAGMA INTEGRITY_CHECK" answers "ok" in its first row.
    bool checkCoherence();

    // A new query on the connection that has run "SELECT * FROM <table>".
    // The table name is pasted unquoted: callers pass fixed names only.
    QSqlQuery getDataFromTable(const QString &table);

    // Points the shared cursor at the rows of table.
    void setQuery(const QString &table);

    // Advances the cursor by one row and returns it; empty when there is no
    // further row or no cursor.
    Row getNextData(const QString &table);

    // The columns of table in order; empty when the table does not exist.
    QList<Field> getFields(const QString &table);

    // The path exactly as given to the constructor.
    QByteArray getDbFile();

    // Ends the connection of this manager and its copies; later reads return
    // nothing. Called on the thread that read.
    void close();

    // The name given to the SQLite driver for path: a file URI of its
    // absolute path that opens it read-only and immutable.
    static QString immutableUri(const QByteArray &path);

private:
    struct Connection;

    // Opens the connection at the first call; whether it is open.
    bool ensureOpen();

    // A query on this manager's connection; one without any connection when
    // that connection is invalid or was replaced by a newer manager.
    QSqlQuery newQuery() const;

    QByteArray dbFile;
    std::shared_ptr<Connection> connection; // null for the placeholder
};
