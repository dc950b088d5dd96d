#include "TestDatabase.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace TestDatabase {

namespace {

int g_connectionCount = 0;

bool runOn(const QString &path, const QStringList &statements, QString *error)
{
    const QString name = QStringLiteral("test-writer-%1").arg(++g_connectionCount);
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (!db.open()) {
            ok = false;
            if (error)
                *error = db.lastError().text();
        }
        for (const QString &statement : statements) {
            if (!ok)
                break;
            QSqlQuery query(db);
            if (!query.exec(statement)) {
                ok = false;
                if (error)
                    *error = statement + QStringLiteral(": ") + query.lastError().text();
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

int rootPage(const QString &path, const QString &object)
{
    const QString name = QStringLiteral("test-reader-%1").arg(++g_connectionCount);
    int page = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery query(db);
            query.prepare(QStringLiteral("SELECT rootpage FROM sqlite_master WHERE name = ?"));
            query.addBindValue(object);
            if (query.exec() && query.next())
                page = query.value(0).toInt();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return page;
}

} // namespace

bool create(const QString &path, const QStringList &statements, QString *error)
{
    return runOn(path, statements, error);
}

bool createValid(const QString &path, int fillerRows)
{
    QStringList statements{
        QStringLiteral(
            "CREATE TABLE R_DBINFO (NUM_CONCEPT INTEGER, LIB_CONCEPT TEXT, COMMENT TEXT)"),
        QStringLiteral("INSERT INTO R_DBINFO VALUES (1, 'Version', 'a'), (2, '2024-05', 'b'),"
                       " (15, 'Acts', 'c')"),
        QStringLiteral("CREATE TABLE filler (id INTEGER PRIMARY KEY, payload BLOB)"),
    };
    if (fillerRows > 0)
        statements << QStringLiteral(
                          "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n"
                          " WHERE i < %1) INSERT INTO filler SELECT i, randomblob(200)"
                          " FROM n")
                          .arg(fillerRows);
    return runOn(path, statements, nullptr);
}

bool createWithSwappedIndexes(const QString &path)
{
    const QStringList build{
        QStringLiteral("CREATE TABLE t1 (a)"),
        QStringLiteral("CREATE TABLE t2 (a)"),
        QStringLiteral("CREATE INDEX i1 ON t1 (a)"),
        QStringLiteral("CREATE INDEX i2 ON t2 (a)"),
        QStringLiteral("INSERT INTO t1 VALUES (1), (2), (3)"),
        QStringLiteral("INSERT INTO t2 VALUES (10), (20)"),
    };
    if (!runOn(path, build, nullptr))
        return false;
    const int page1 = rootPage(path, QStringLiteral("i1"));
    const int page2 = rootPage(path, QStringLiteral("i2"));
    if (page1 < 0 || page2 < 0)
        return false;
    const QStringList swap{
        QStringLiteral("PRAGMA writable_schema = ON"),
        QStringLiteral("UPDATE sqlite_master SET rootpage = %1 WHERE name = 'i1'").arg(page2),
        QStringLiteral("UPDATE sqlite_master SET rootpage = %1 WHERE name = 'i2'").arg(page1),
    };
    return runOn(path, swap, nullptr);
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QStringList listing(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

bool createOfSize(const QString &path, qint64 size)
{
    if (size == 0)
        return write(path, QByteArray());
    if (!create(path, {QStringLiteral("PRAGMA page_size=512"),
                       QStringLiteral("CREATE TABLE R_DBINFO (NUM_CONCEPT INTEGER, VALEUR TEXT)"),
                       QStringLiteral("INSERT INTO R_DBINFO VALUES (1, 'AB')")}))
        return false;
    QByteArray bytes = contents(path);
    if (bytes.size() > size)
        return false;
    bytes.reserve(int(size));
    for (qint64 i = bytes.size(); i < size; ++i)
        bytes.append(char((i * 131) >> 3));
    return write(path, bytes);
}

} // namespace TestDatabase
