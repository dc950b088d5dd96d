#include "KLAVDbManager.h"

#include "base/KLAVLog.h"
#include "platform/NativeFile.h"

#include <QAtomicInteger>
#include <QFile>
#include <QSqlRecord>
#include <QVariant>

#include <cctype>

// The connection shared by a manager and its copies.
struct KLAVDbManager::Connection {
    QString name;
    bool tried = false; // opened once: a closed connection stays closed
    QSqlDatabase db;
    QSqlQuery query;

    ~Connection() { release(); }
    void release()
    {
        if (!tried || name.isEmpty())
            return;
        query = QSqlQuery();
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        name.clear();
    }
};

namespace {

QString newConnectionName()
{
    static QAtomicInteger<quint64> counter;
    return QStringLiteral("KLAVDbManager-%1").arg(counter.fetchAndAddRelaxed(1));
}

} // namespace

KLAVDbManager::KLAVDbManager() = default;

KLAVDbManager::KLAVDbManager(const QByteArray &path)
    : dbFile(path), connection(std::make_shared<Connection>())
{
    KLAVLogScope scope("KLAVDbManager::KLAVDbManager");
    connection->name = newConnectionName();
}

KLAVDbManager::~KLAVDbManager() = default;

bool KLAVDbManager::ensureOpen()
{
    if (!connection)
        return false;
    if (!connection->tried) {
        connection->tried = true;
        QSqlDatabase &db = connection->db;
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection->name);
        // Read-only and without the create flag: a missing file stays missing.
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
        db.setDatabaseName(immutableUri(dbFile));
        if (db.open())
            writeLog(LOG_INFO, "Database is successully opened");
        else
            writeLog(LOG_ERROR, "Error on opening database file");
    }
    return connection->db.isOpen();
}

void KLAVDbManager::close()
{
    if (connection) {
        connection->tried = true;
        connection->release();
    }
}

QString KLAVDbManager::immutableUri(const QByteArray &path)
{
    // The absolute path of the very file the loader opens and sends; bytes
    // pass through unchanged ('%', '?' and '#' would otherwise be URI syntax).
    const QByteArray absolute = sqliteFileName(path);
    QString uri = QStringLiteral("file:");
    if (absolute.startsWith('/'))
        uri += QStringLiteral("//"); // empty authority, so "//server/..." stays a path
    else if (absolute.size() >= 2 && absolute.at(1) == ':' && std::isalpha(uchar(absolute.at(0))))
        uri += QStringLiteral("///"); // drive letter path
    uri += QString::fromLatin1(absolute.toPercentEncoding("/:"));
    uri += QStringLiteral("?immutable=1");
    return uri;
}

KLAVDbManager::PendingWrite KLAVDbManager::pendingWrite() const
{
    // The first 8 bytes of a journal that rolls changes back; a journal kept
    // after its transaction (journal_mode PERSIST) has them zeroed, one cut
    // short (TRUNCATE) is empty.
    static const QByteArray kJournalMagic("\xD9\xD5\x05\xF9\x20\xA1\x63\xD7", 8);
    // A write-ahead log of its 32-byte header alone holds no change.
    constexpr qint64 kWalHeaderSize = 32;
    QFile journal;
    if (openRegularFile(dbFile + "-journal", journal) && journal.read(8) == kJournalMagic)
        return PendingWrite::Journal;
    QFile wal;
    if (openRegularFile(dbFile + "-wal", wal) && wal.size() > kWalHeaderSize)
        return PendingWrite::Wal;
    return PendingWrite::None;
}

bool KLAVDbManager::checkCoherence()
{
    KLAVLogScope scope("KLAVDbManager::checkCoherence");
    const bool open = ensureOpen();
    QSqlQuery check = newQuery();
    // A failed statement or a missing row reads as an empty text.
    const bool coherent = open && check.exec(QStringLiteral("PRAGMA INTEGRITY_CHECK")) &&
                          check.next() && check.value(0).toString() == QLatin1String("ok");
    if (coherent)
        writeLog(LOG_INFO, "Database integrity check succeeded");
    else
        writeLog(LOG_ERROR, "Error in database integrity check");
    return coherent;
}

QSqlQuery KLAVDbManager::newQuery() const
{
    // Qt runs the statements of a query on an invalid connection on the
    // default connection instead, which may be another file: such a query is
    // left without a connection.
    return connection && connection->db.isOpen() ? QSqlQuery(connection->db) : QSqlQuery(nullptr);
}

QSqlQuery KLAVDbManager::getDataFromTable(const QString &table)
{
    const bool open = ensureOpen();
    QSqlQuery rows = newQuery();
    if (open)
        rows.exec(QStringLiteral("SELECT * FROM ") + table);
    return rows;
}

void KLAVDbManager::setQuery(const QString &table)
{
    writeLog(LOG_INFO, "KLAVDbManager::setQuery");
    QSqlQuery rows = getDataFromTable(table);
    if (connection)
        connection->query = rows;
}

KLAVDbManager::Row KLAVDbManager::getNextData(const QString &table)
{
    KLAVLogScope scope("KLAVDbManager::getNextData");
    const int count = getFields(table).size();
    Row row;
    QSqlQuery *query = connection ? &connection->query : nullptr;
    if (query && query->isActive() && query->next()) {
        for (int i = 0; i < count; ++i)
            row.append(query->value(i).toString().toUtf8());
        return row;
    }
    writeLog(LOG_INFO, "No next data");
    return row;
}

QList<KLAVDbManager::Field> KLAVDbManager::getFields(const QString &table)
{
    KLAVLogScope scope("KLAVDbManager::getFields");
    QSqlQuery columns = getDataFromTable(table);
    columns.next();
    // The record describes the columns even when the table has no row.
    const QSqlRecord record = columns.record();
    const int count = record.count();
    writeLog(LOG_INFO, "Obtained number of fields");

    QSqlQuery types = newQuery();
    bool onTypeRow = ensureOpen() &&
                     types.exec(QStringLiteral("PRAGMA table_info(") + table + QLatin1Char(')')) &&
                     types.next();
    writeLog(LOG_INFO, "Obtained field type");

    QList<Field> fields;
    for (int i = 0; i < count; ++i) {
        const QString type = onTypeRow ? types.value(2).toString() : QString();
        fields.append(Field(record.fieldName(i).toUtf8(), type.toUtf8()));
        onTypeRow = onTypeRow && types.next();
    }
    return fields;
}

QByteArray KLAVDbManager::getDbFile()
{
    KLAVLogScope scope("KLAVDbManager::getDbFile");
    return dbFile;
}
