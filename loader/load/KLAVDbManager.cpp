#include "KLAVDbManager.h"

#include "app/KLAVLog.h"

#include <QDir>
#include <QSqlRecord>
#include <QUrl>
#include <QVariant>

KLAVDbManager::KLAVDbManager() = default;

KLAVDbManager::KLAVDbManager(const QByteArray &path) : dbFile(path)
{
    writeLog(LOG_ENTER, "KLAVDbManager::KLAVDbManager");
    db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    // Read-only and without the create flag: a missing file stays missing.
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
    db.setDatabaseName(immutableUri(dbFile));
    if (db.open())
        writeLog(LOG_INFO, "Database is successully opened");
    else
        writeLog(LOG_ERROR, "Error on opening database file");
    writeLog(LOG_EXIT, "KLAVDbManager::KLAVDbManager");
}

KLAVDbManager::~KLAVDbManager() = default;

QString KLAVDbManager::immutableUri(const QByteArray &path)
{
    const QString local = QDir::fromNativeSeparators(QString::fromUtf8(path));
    // '%', '?' and '#' would otherwise be read as URI syntax.
    const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(local, "/:"));
    QString uri = QStringLiteral("file:");
    if (local.startsWith(QLatin1Char('/')))
        uri += QStringLiteral("//"); // empty authority, so "//server/..." stays a path
    else if (local.size() >= 2 && local.at(1) == QLatin1Char(':') && local.at(0).isLetter())
        uri += QStringLiteral("///"); // drive letter path
    uri += encoded;
    uri += QStringLiteral("?immutable=1");
    return uri;
}

bool KLAVDbManager::checkCoherence()
{
    writeLog(LOG_ENTER, "KLAVDbManager::checkCoherence");
    QSqlQuery check = newQuery();
    // A failed statement or a missing row reads as an empty text.
    const bool coherent = db.isOpen() && check.exec(QStringLiteral("PRAGMA INTEGRITY_CHECK")) &&
                          check.next() && check.value(0).toString() == QLatin1String("ok");
    if (coherent)
        writeLog(LOG_INFO, "Database integrity check succeeded");
    else
        writeLog(LOG_ERROR, "Error in database integrity check");
    writeLog(LOG_EXIT, "KLAVDbManager::checkCoherence");
    return coherent;
}

QSqlQuery KLAVDbManager::newQuery() const
{
    // Qt runs the statements of a query on an invalid connection on the
    // default connection instead, which belongs to the newest manager and may
    // be another file: such a query is left without a connection.
    return db.isValid() ? QSqlQuery(db) : QSqlQuery(nullptr);
}

QSqlQuery KLAVDbManager::getDataFromTable(const QString &table)
{
    QSqlQuery rows = newQuery();
    if (db.isOpen())
        rows.exec(QStringLiteral("SELECT * FROM ") + table);
    return rows;
}

void KLAVDbManager::setQuery(const QString &table)
{
    writeLog(LOG_INFO, "KLAVDbManager::setQuery");
    query = getDataFromTable(table);
}

KLAVDbManager::Row KLAVDbManager::getNextData(const QString &table)
{
    writeLog(LOG_ENTER, "KLAVDbManager::getNextData");
    const int count = getFields(table).size();
    Row row;
    if (query.isActive() && query.next()) {
        for (int i = 0; i < count; ++i)
            row.append(query.value(i).toString().toUtf8());
        writeLog(LOG_EXIT, "KLAVDbManager::getNextData");
        return row;
    }
    writeLog(LOG_INFO, "No next data");
    writeLog(LOG_EXIT, "KLAVDbManager::getNextData");
    return row;
}

QList<KLAVDbManager::Field> KLAVDbManager::getFields(const QString &table)
{
    writeLog(LOG_ENTER, "KLAVDbManager::getFields");
    QSqlQuery columns = getDataFromTable(table);
    columns.next();
    // The record describes the columns even when the table has no row.
    const QSqlRecord record = columns.record();
    const int count = record.count();
    writeLog(LOG_INFO, "Obtained number of fields");

    QSqlQuery types = newQuery();
    bool onTypeRow = db.isOpen() &&
                     types.exec(QStringLiteral("PRAGMA table_info(") + table + QLatin1Char(')')) &&
                     types.next();
    writeLog(LOG_INFO, "Obtained field type");

    QList<Field> fields;
    for (int i = 0; i < count; ++i) {
        const QString type = onTypeRow ? types.value(2).toString() : QString();
        fields.append(Field(record.fieldName(i).toUtf8(), type.toUtf8()));
        onTypeRow = onTypeRow && types.next();
    }
    writeLog(LOG_EXIT, "KLAVDbManager::getFields");
    return fields;
}

QByteArray KLAVDbManager::getDbFile()
{
    writeLog(LOG_ENTER, "KLAVDbManager::getDbFile");
    writeLog(LOG_EXIT, "KLAVDbManager::getDbFile");
    return dbFile;
}
