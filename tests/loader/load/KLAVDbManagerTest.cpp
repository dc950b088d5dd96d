#include "load/KLAVDbManager.h"
#include "LogCapture.h"
#include "TestDatabase.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>

namespace {

using Fields = QList<KLAVDbManager::Field>;
using Row = KLAVDbManager::Row;

class KLAVDbManagerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }

    QString path(const QString &name) const { return folder.filePath(name); }
    static QByteArray bytes(const QString &path) { return path.toUtf8(); }

    QTemporaryDir folder;
};

QByteArray randomBytes(int size, unsigned seed)
{
    std::mt19937 random(seed);
    QByteArray out(size, '\0');
    for (char &c : out)
        c = char(random());
    return out;
}

} // namespace

TEST_F(KLAVDbManagerTest, SoundDatabasePassesTheCheck)
{
    ASSERT_TRUE(TestDatabase::createValid(path("valid.db")));
    LogCapture log;
    KLAVDbManager manager(bytes(path("valid.db")));
    EXPECT_TRUE(manager.checkCoherence());
    EXPECT_EQ(manager.getDbFile(), bytes(path("valid.db")));
    EXPECT_EQ(log.countContaining("Database is successully opened"), 1);
    EXPECT_EQ(log.countContaining("Database integrity check succeeded"), 1);
    EXPECT_EQ(log.countContaining("KLAVDbManager::checkCoherence"), 2);
}

TEST_F(KLAVDbManagerTest, IntegrityProblemsFailTheCheck)
{
    ASSERT_TRUE(TestDatabase::createWithSwappedIndexes(path("swapped.db")));
    LogCapture log;
    KLAVDbManager manager(bytes(path("swapped.db")));
    EXPECT_FALSE(manager.checkCoherence());
    EXPECT_EQ(log.countContaining("Error in database integrity check"), 1);
}

TEST_F(KLAVDbManagerTest, FilesThatAreNotSoundDatabasesFailTheCheck)
{
    ASSERT_TRUE(TestDatabase::createValid(path("source.db")));
    const QByteArray sound = TestDatabase::contents(path("source.db"));
    ASSERT_GT(sound.size(), 16 * 4096);

    QByteArray overwritten = sound;
    const QByteArray noise = randomBytes(sound.size(), 3);
    for (int i = 4096 * 4; i < 4096 * 8; ++i)
        overwritten[i] = noise[i];

    const struct {
        const char *name;
        QByteArray content;
    } cases[] = {
        {"random.db", randomBytes(8192, 1)},
        {"text.db", QByteArray("NUM_CONCEPT;LIB_CONCEPT\n1;Version\n")},
        {"truncated-half.db", sound.left(sound.size() / 2)},
        {"truncated-one-page.db", sound.left(sound.size() - 4096)},
        {"truncated-header.db", sound.left(1000)},
        {"overwritten.db", overwritten},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(TestDatabase::write(path(c.name), c.content));
        KLAVDbManager manager(bytes(path(c.name)));
        EXPECT_FALSE(manager.checkCoherence()) << c.name;
    }
}

TEST_F(KLAVDbManagerTest, EmptyFileReadsAsAnEmptySoundDatabase)
{
    ASSERT_TRUE(TestDatabase::write(path("empty.db"), QByteArray()));
    KLAVDbManager manager(bytes(path("empty.db")));
    EXPECT_TRUE(manager.checkCoherence());
    EXPECT_TRUE(manager.getFields("R_DBINFO").isEmpty());
    EXPECT_EQ(TestDatabase::contents(path("empty.db")).size(), 0);
}

TEST_F(KLAVDbManagerTest, MissingFileIsNotCreatedAndFailsTheCheck)
{
    LogCapture log;
    const QString missing = path("typo/mistyped.db");
    const QString missingHere = path("mistyped.db");
    for (const QString &p : {missing, missingHere}) {
        KLAVDbManager manager(bytes(p));
        EXPECT_FALSE(manager.checkCoherence());
        manager.setQuery("R_DBINFO");
        EXPECT_TRUE(manager.getNextData("R_DBINFO").isEmpty());
        EXPECT_FALSE(QFile::exists(p));
    }
    EXPECT_EQ(log.countContaining("Error on opening database file"), 2);
    EXPECT_TRUE(TestDatabase::listing(folder.path()).isEmpty());
}

TEST_F(KLAVDbManagerTest, CheckingAndReadingChangeNoByteAndAddNoFile)
{
    const QStringList wal{QStringLiteral("PRAGMA journal_mode = WAL"),
                          QStringLiteral("CREATE TABLE R_DBINFO (NUM_CONCEPT, LIB)"),
                          QStringLiteral("INSERT INTO R_DBINFO VALUES (1, 'wal')")};
    ASSERT_TRUE(TestDatabase::create(path("wal.db"), wal));
    ASSERT_TRUE(TestDatabase::createValid(path("rollback.db"), 10));
    const QStringList before = TestDatabase::listing(folder.path());
    ASSERT_EQ(before, (QStringList{"rollback.db", "wal.db"}));
    const QByteArray walBytes = TestDatabase::contents(path("wal.db"));
    const QByteArray rollbackBytes = TestDatabase::contents(path("rollback.db"));

    for (const char *name : {"wal.db", "rollback.db"}) {
        KLAVDbManager manager(bytes(path(name)));
        EXPECT_TRUE(manager.checkCoherence()) << name;
        manager.setQuery("R_DBINFO");
        EXPECT_FALSE(manager.getNextData("R_DBINFO").isEmpty()) << name;
        EXPECT_EQ(TestDatabase::listing(folder.path()), before) << name << " while open";
    }
    QSqlDatabase::removeDatabase(QLatin1String(QSqlDatabase::defaultConnection));
    EXPECT_EQ(TestDatabase::listing(folder.path()), before);
    EXPECT_EQ(TestDatabase::contents(path("wal.db")), walBytes);
    EXPECT_EQ(TestDatabase::contents(path("rollback.db")), rollbackBytes);
}

TEST_F(KLAVDbManagerTest, ReadsTheMainFileAloneAsItIsSent)
{
    // A writer that keeps its connection open leaves its commit in the -wal
    // file; the bytes sent to the terminal do not hold it, so neither do the
    // rows read here.
    const QString name = QStringLiteral("writer");
    {
        QSqlDatabase writer = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        writer.setDatabaseName(path("live.db"));
        ASSERT_TRUE(writer.open());
        QSqlQuery q(writer);
        ASSERT_TRUE(q.exec("PRAGMA journal_mode = WAL"));
        ASSERT_TRUE(q.exec("PRAGMA wal_autocheckpoint = 0"));
        ASSERT_TRUE(q.exec("CREATE TABLE R_DBINFO (NUM_CONCEPT, LIB)"));
        ASSERT_TRUE(q.exec("PRAGMA wal_checkpoint(TRUNCATE)"));
        ASSERT_TRUE(q.exec("INSERT INTO R_DBINFO VALUES (1, 'only in the wal')"));
        ASSERT_TRUE(QFile::exists(path("live.db-wal")));

        KLAVDbManager manager(bytes(path("live.db")));
        EXPECT_TRUE(manager.checkCoherence());
        manager.setQuery("R_DBINFO");
        EXPECT_TRUE(manager.getNextData("R_DBINFO").isEmpty());
        writer.close();
    }
    QSqlDatabase::removeDatabase(name);
}

TEST_F(KLAVDbManagerTest, PathsWithUriCharactersOpenTheRightFile)
{
    for (const QString &name :
         {QStringLiteral("a b?c#d%20e.db"), QStringLiteral("\u00e9t\u00e9.db"),
          QStringLiteral("x?immutable=0&mode=rwc.db")}) {
        ASSERT_TRUE(TestDatabase::createValid(path(name), 0)) << name.toStdString();
        const QStringList before = TestDatabase::listing(folder.path());
        KLAVDbManager manager(bytes(path(name)));
        EXPECT_TRUE(manager.checkCoherence()) << name.toStdString();
        manager.setQuery("R_DBINFO");
        EXPECT_EQ(manager.getNextData("R_DBINFO").value(1), QByteArray("Version"))
            << name.toStdString();
        EXPECT_EQ(TestDatabase::listing(folder.path()), before);
    }
}

TEST_F(KLAVDbManagerTest, RelativeAndDoubleSlashPathsOpenTheRightFile)
{
    ASSERT_TRUE(TestDatabase::createValid(path("rel #1.db"), 0));
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder.path()));
    bool relativeOk = false;
    {
        KLAVDbManager manager("rel #1.db");
        relativeOk = manager.checkCoherence();
    }
    QDir::setCurrent(previous);
    EXPECT_TRUE(relativeOk);

    KLAVDbManager doubled(("/" + path("rel #1.db")).toUtf8());
    EXPECT_TRUE(doubled.checkCoherence());
}

TEST_F(KLAVDbManagerTest, MissingOrEmptyTableReadsNothing)
{
    ASSERT_TRUE(TestDatabase::create(path("none.db"), {"CREATE TABLE other (a)"}));
    {
        KLAVDbManager manager(bytes(path("none.db")));
        EXPECT_TRUE(manager.getFields("R_DBINFO").isEmpty());
        manager.setQuery("R_DBINFO");
        EXPECT_TRUE(manager.getNextData("R_DBINFO").isEmpty());
    }
    ASSERT_TRUE(TestDatabase::create(
        path("empty-table.db"), {"CREATE TABLE R_DBINFO (NUM_CONCEPT INTEGER, LIB_CONCEPT TEXT)"}));
    LogCapture log;
    KLAVDbManager manager(bytes(path("empty-table.db")));
    EXPECT_EQ(manager.getFields("R_DBINFO"),
              (Fields{{"NUM_CONCEPT", "INTEGER"}, {"LIB_CONCEPT", "TEXT"}}));
    manager.setQuery("R_DBINFO");
    EXPECT_TRUE(manager.getNextData("R_DBINFO").isEmpty());
    EXPECT_EQ(log.countContaining("No next data"), 1);
}

TEST_F(KLAVDbManagerTest, ValuesReadAsTextsOnePerColumnInStorageOrder)
{
    ASSERT_TRUE(TestDatabase::create(
        path("values.db"),
        {"CREATE TABLE R_DBINFO (NUM_CONCEPT INTEGER, LIB_CONCEPT TEXT, EXTRA, AMOUNT REAL)",
         "INSERT INTO R_DBINFO VALUES (3, 'third', NULL, 2.5)",
         "INSERT INTO R_DBINFO VALUES (1, NULL, 'x', NULL)",
         "INSERT INTO R_DBINFO VALUES ('2', '\u00e9t\u00e9', 7, -4)"}));
    KLAVDbManager manager(bytes(path("values.db")));
    EXPECT_EQ(manager.getFields("R_DBINFO"), (Fields{{"NUM_CONCEPT", "INTEGER"},
                                                     {"LIB_CONCEPT", "TEXT"},
                                                     {"EXTRA", ""},
                                                     {"AMOUNT", "REAL"}}));
    manager.setQuery("R_DBINFO");
    EXPECT_EQ(manager.getNextData("R_DBINFO"), (Row{"3", "third", "", "2.5"}));
    EXPECT_EQ(manager.getNextData("R_DBINFO"), (Row{"1", "", "x", ""}));
    EXPECT_EQ(manager.getNextData("R_DBINFO"), (Row{"2", "\xC3\xA9t\xC3\xA9", "7", "-4"}));
    EXPECT_TRUE(manager.getNextData("R_DBINFO").isEmpty());
    EXPECT_TRUE(manager.getNextData("R_DBINFO").isEmpty());

    // A new cursor starts again from the first row.
    manager.setQuery("R_DBINFO");
    EXPECT_EQ(manager.getNextData("R_DBINFO").value(0), QByteArray("3"));
}

TEST_F(KLAVDbManagerTest, CopiesShareTheCursor)
{
    ASSERT_TRUE(TestDatabase::createValid(path("valid.db"), 0));
    KLAVDbManager first(bytes(path("valid.db")));
    first.setQuery("R_DBINFO");
    KLAVDbManager second = first;
    EXPECT_EQ(first.getNextData("R_DBINFO").value(0), QByteArray("1"));
    EXPECT_EQ(second.getNextData("R_DBINFO").value(0), QByteArray("2"));
    EXPECT_EQ(first.getNextData("R_DBINFO").value(0), QByteArray("15"));
    EXPECT_TRUE(second.getNextData("R_DBINFO").isEmpty());
    EXPECT_EQ(second.getDbFile(), first.getDbFile());
}

TEST_F(KLAVDbManagerTest, EachManagerReadsItsOwnFileUntilClosed)
{
    KLAVDbManager placeholder;
    EXPECT_TRUE(placeholder.getDbFile().isEmpty());
    EXPECT_FALSE(placeholder.checkCoherence());
    EXPECT_TRUE(placeholder.getNextData("R_DBINFO").isEmpty());

    ASSERT_TRUE(TestDatabase::createValid(path("one.db"), 0));
    ASSERT_TRUE(TestDatabase::createValid(path("two.db"), 1));
    KLAVDbManager older(bytes(path("one.db")));
    older.setQuery("R_DBINFO");
    EXPECT_EQ(older.getNextData("R_DBINFO").value(0), QByteArray("1"));
    // A newer manager has a connection of its own: the older one still reads one.db.
    KLAVDbManager newer(bytes(path("two.db")));
    EXPECT_TRUE(newer.checkCoherence());
    EXPECT_EQ(older.getNextData("R_DBINFO").value(0), QByteArray("2"));
    EXPECT_TRUE(older.checkCoherence());

    KLAVDbManager copy = older;
    older.close();
    EXPECT_FALSE(copy.checkCoherence());
    EXPECT_TRUE(copy.getNextData("R_DBINFO").isEmpty());
    EXPECT_TRUE(copy.getFields("R_DBINFO").isEmpty());
    EXPECT_TRUE(newer.checkCoherence());
}
