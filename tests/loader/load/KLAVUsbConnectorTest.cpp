#include "load/KLAVUsbConnector.h"
#include "LogCapture.h"
#include "TestDatabase.h"
#include "load/KLAVCrc.h"
#include "load/KLAVDbManager.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class KLAVUsbConnectorTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }
    QString path(const QString &name) const { return folder.filePath(name); }

    // A database whose R_DBINFO holds one valid row of textSize bytes, a row
    // that is skipped and a short valid row; filler rows set the file size.
    bool createInfoDatabase(const QString &file, int textSize, int fillerRows)
    {
        QStringList statements{
            "CREATE TABLE R_DBINFO (NUM_CONCEPT INTEGER, LIB_CONCEPT TEXT)",
            QStringLiteral("INSERT INTO R_DBINFO VALUES (0, 'skipped'), (1, '%1'), (2, 'B')")
                .arg(QString(textSize, QLatin1Char('t'))),
            "CREATE TABLE filler (payload BLOB)"};
        if (fillerRows > 0)
            statements << QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1"
                                         " FROM n WHERE i < %1) INSERT INTO filler"
                                         " SELECT zeroblob(200) FROM n")
                              .arg(fillerRows);
        return TestDatabase::create(file, statements);
    }

    QTemporaryDir folder;
};

} // namespace

TEST_F(KLAVUsbConnectorTest, RequestFrameDescribesTheRealFileAndItsEntries)
{
    ASSERT_TRUE(TestDatabase::createValid(path("valid.db"), 400));
    const qint64 size = QFileInfo(path("valid.db")).size();
    ASSERT_GT(size, 0xFFFF); // a 3-byte size field

    KLAVUsbConnector connector(KLAVDevice(), KLAVDbManager(path("valid.db").toUtf8()), 2);
    ASSERT_TRUE(connector.openDatabaseFile());
    EXPECT_EQ(connector.databaseFileSize(), size);
    QList<QByteArray> numbers, texts;
    connector.selectEntries(numbers, texts);
    EXPECT_EQ(numbers, (QList<QByteArray>{"1", "2", "15"}));
    EXPECT_EQ(texts, (QList<QByteArray>{"Version", "2024-05", "Acts"}));

    const QByteArray frame = connector.stringToBytes(numbers, texts);
    QByteArray expected = QByteArray::fromHex("2F40") + char(7 + 3 + 24) +
                          QByteArray::fromHex("05010160") + char(24) + QByteArray::fromHex("8003");
    expected += char(size >> 16);
    expected += char(size >> 8);
    expected += char(size);
    expected += QByteArray("\x81\x07Version\x82\x07"
                           "2024-05\x8F\x04"
                           "Acts");
    KLAVCrc::appendCrc(expected);
    EXPECT_EQ(frame.toHex(), expected.toHex());
}

TEST_F(KLAVUsbConnectorTest, FullEntriesAreLeftOutOnlyWhereTheLengthByteWouldOverflow)
{
    // Entry bytes 246 (244 + 2): LEN = 7 + k + 246 fits a byte for k <= 2.
    ASSERT_TRUE(createInfoDatabase(path("small.db"), 244, 0));
    ASSERT_TRUE(createInfoDatabase(path("large.db"), 244, 400));
    ASSERT_LE(QFileInfo(path("small.db")).size(), 0xFFFF);
    ASSERT_GT(QFileInfo(path("large.db")).size(), 0xFFFF);

    QList<QByteArray> numbers, texts;
    KLAVUsbConnector small(KLAVDevice(), KLAVDbManager(path("small.db").toUtf8()), 2);
    ASSERT_TRUE(small.openDatabaseFile());
    small.selectEntries(numbers, texts);
    EXPECT_EQ(numbers, QList<QByteArray>{"1"});
    QByteArray frame = small.stringToBytes(numbers, texts);
    EXPECT_EQ(quint8(frame[2]), 255);
    EXPECT_EQ(frame.size(), 3 + 255 + 2);

    KLAVUsbConnector large(KLAVDevice(), KLAVDbManager(path("large.db").toUtf8()), 2);
    ASSERT_TRUE(large.openDatabaseFile());
    large.selectEntries(numbers, texts);
    EXPECT_TRUE(numbers.isEmpty());
    frame = large.stringToBytes(numbers, texts);
    EXPECT_EQ(quint8(frame[2]), 7 + 3);
    EXPECT_EQ(frame.size(), 3 + 10 + 2);
}

TEST_F(KLAVUsbConnectorTest, FilesOf2GiBAreRefusedBeforeAnyFrame)
{
    QFile huge(path("huge.db"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    if (!huge.resize(qint64(1) << 31))
        GTEST_SKIP() << "no sparse 2 GiB file in the temporary folder";
    huge.close();

    LogCapture log;
    KLAVUsbConnector connector(KLAVDevice(), KLAVDbManager(path("huge.db").toUtf8()), 2);
    EXPECT_FALSE(connector.openDatabaseFile());
    EXPECT_TRUE(connector.stringToBytes({}, {}).isEmpty());
    EXPECT_EQ(log.countContaining("Database file of 2147483648 bytes is too large to be loaded"),
              1);
    EXPECT_EQ(log.countContaining("Database file is not open: no request frame"), 1);

    ASSERT_TRUE(huge.open(QIODevice::ReadWrite));
    ASSERT_TRUE(huge.resize((qint64(1) << 31) - 1));
    huge.close();
    ASSERT_TRUE(connector.openDatabaseFile());
    EXPECT_EQ(connector.stringToBytes({}, {}).mid(9, 5), QByteArray::fromHex("047FFFFFFF"));
}

TEST_F(KLAVUsbConnectorTest, CopiesStartWithoutTheFileAndMissingFilesDoNotOpen)
{
    ASSERT_TRUE(TestDatabase::createValid(path("valid.db"), 0));
    KLAVUsbConnector original(KLAVDevice(), KLAVDbManager(path("valid.db").toUtf8()), 3);
    ASSERT_TRUE(original.openDatabaseFile());
    KLAVUsbConnector copy(original);
    EXPECT_EQ(copy.databaseFileSize(), 0);
    EXPECT_TRUE(copy.stringToBytes({}, {}).isEmpty());
    ASSERT_TRUE(copy.openDatabaseFile());
    EXPECT_EQ(copy.stringToBytes({}, {}), original.stringToBytes({}, {}));
    EXPECT_EQ(copy.stringToBytes({}, {}).at(0), char(0x3F));

    KLAVUsbConnector missing(KLAVDevice(), KLAVDbManager(path("missing.db").toUtf8()), 2);
    EXPECT_FALSE(missing.openDatabaseFile());
    EXPECT_FALSE(QFile::exists(path("missing.db")));
}
