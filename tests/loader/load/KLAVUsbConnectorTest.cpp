// The connector's opening phase against a scripted terminal, on real SQLite
// files: the request frame the terminal receives for the file and its
// entries, files too large to describe, and what copies keep.

#include "load/KLAVUsbConnector.h"
#include "LogCapture.h"
#include "ScriptedPort.h"
#include "TestDatabase.h"
#include "load/KLAVCrc.h"
#include "load/KLAVDbManager.h"
#include "load/KLAVLoadFrames.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace {

class KLAVUsbConnectorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        terminal.reply = [this](const QByteArray &command, int) {
            return ScriptedTerminal::wellBehaved(command, pad);
        };
    }
    QString path(const QString &name) const { return folder.filePath(name); }

    // A connector for the database file name whose ports play the terminal.
    KLAVUsbConnector connector(const QString &name)
    {
        KLAVUsbConnector made(KLAVDevice(), KLAVDbManager(path(name).toUtf8()), pad);
        made.setPortFactory(terminal.factory());
        return made;
    }

    // The request frame the terminal received in the last opening phase.
    QByteArray requestReceived() const
    {
        return terminal.exchanges.size() >= 2 ? terminal.exchanges[1].command : QByteArray();
    }

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
    ScriptedTerminal terminal;
    int pad = 2;
};

} // namespace

TEST_F(KLAVUsbConnectorTest, RequestFrameDescribesTheRealFileAndItsEntries)
{
    ASSERT_TRUE(TestDatabase::createValid(path("valid.db"), 400));
    const qint64 size = QFileInfo(path("valid.db")).size();
    ASSERT_GT(size, 0xFFFF); // a 3-byte size field

    KLAVUsbConnector load = connector("valid.db");
    QByteArray replyText;
    EXPECT_EQ(load.operate(replyText), LOAD_OK);
    EXPECT_EQ(replyText, "0xF240020000212A");
    // The entries of R_DBINFO in the order of its rows: 1, 2 and 15.
    QByteArray expected = QByteArray::fromHex("2F40") + char(7 + 3 + 24) +
                          QByteArray::fromHex("05010160") + char(24) + QByteArray::fromHex("8003");
    expected += char(size >> 16);
    expected += char(size >> 8);
    expected += char(size);
    expected += QByteArray("\x81\x07Version\x82\x07"
                           "2024-05\x8F\x04"
                           "Acts");
    KLAVCrc::appendCrc(expected);
    EXPECT_EQ(requestReceived().toHex(), expected.toHex());
    // The file stays open for the transfer: the same frame again.
    EXPECT_EQ(load.stringToBytes({"1", "2", "15"}, {"Version", "2024-05", "Acts"}).toHex(),
              expected.toHex());
}

TEST_F(KLAVUsbConnectorTest, FullEntriesAreLeftOutOnlyWhereTheLengthByteWouldOverflow)
{
    // Entry bytes 246 (244 + 2): LEN = 7 + k + 246 fits a byte for k <= 2.
    ASSERT_TRUE(createInfoDatabase(path("small.db"), 244, 0));
    ASSERT_TRUE(createInfoDatabase(path("large.db"), 244, 400));
    ASSERT_LE(QFileInfo(path("small.db")).size(), 0xFFFF);
    ASSERT_GT(QFileInfo(path("large.db")).size(), 0xFFFF);

    QByteArray replyText;
    KLAVUsbConnector small = connector("small.db");
    EXPECT_EQ(small.operate(replyText), LOAD_OK);
    QByteArray frame = requestReceived();
    EXPECT_EQ(quint8(frame[2]), 255);
    EXPECT_EQ(frame.size(), 3 + 255 + 2);
    const int k = quint8(frame[9]);
    EXPECT_EQ(k, 2);
    EXPECT_EQ(quint8(frame[10 + k]), 0x81); // the entry of row 1 alone
    EXPECT_EQ(quint8(frame[11 + k]), 244);

    terminal.exchanges.clear();
    KLAVUsbConnector large = connector("large.db");
    EXPECT_EQ(large.operate(replyText), LOAD_OK);
    frame = requestReceived();
    EXPECT_EQ(quint8(frame[2]), 7 + 3);
    EXPECT_EQ(frame.size(), 3 + 10 + 2);
}

TEST_F(KLAVUsbConnectorTest, FilesOf2GiBAreRefusedBeforeAnyFrame)
{
    // A sound database whose file SQLite reads only the start of.
    ASSERT_TRUE(TestDatabase::createOfSize(path("huge.db"), 1024));
    QFile huge(path("huge.db"));
    if (!huge.resize(qint64(1) << 31))
        GTEST_SKIP() << "no sparse 2 GiB file in the temporary folder";

    LogCapture log;
    QByteArray replyText;
    KLAVUsbConnector refused = connector("huge.db");
    EXPECT_EQ(refused.operate(replyText), LOAD_FILE_NOT_OPENED);
    EXPECT_EQ(terminal.portsCreated, 0);
    EXPECT_TRUE(refused.stringToBytes({}, {}).isEmpty());
    EXPECT_EQ(log.countContaining("Database file of 2147483648 bytes is too large to be loaded"),
              1);
    EXPECT_EQ(log.countContaining("Database file is not open: no request frame"), 1);
    EXPECT_TRUE(refused.failureText().startsWith(
        "The database file is too large for a terminal: 2147483648 bytes"))
        << refused.failureText().toStdString();

    ASSERT_TRUE(huge.resize((qint64(1) << 31) - 1));
    KLAVUsbConnector largest = connector("huge.db");
    EXPECT_EQ(largest.operate(replyText), LOAD_OK);
    EXPECT_EQ(requestReceived().mid(9, 5), QByteArray::fromHex("047FFFFFFF"));
}

TEST_F(KLAVUsbConnectorTest, CopiesKeepThePadAndTheFactoryButStartWithoutTheFile)
{
    pad = 14;
    ASSERT_TRUE(TestDatabase::createOfSize(path("copied.db"), 1024));
    ASSERT_TRUE(TestDatabase::createOfSize(path("assigned.db"), 1024));
    // Runs the opening phase of a copy: the PAD and the scripted terminal
    // came with it.
    auto opens = [this](KLAVUsbConnector &copy) {
        terminal.exchanges.clear();
        QByteArray replyText;
        EXPECT_EQ(copy.operate(replyText), LOAD_OK);
        ASSERT_EQ(terminal.exchanges.size(), 2);
        EXPECT_EQ(terminal.exchanges[0].command, KLAVLoadFrames(14).initialisation());
        EXPECT_EQ(quint8(requestReceived()[0]), 0xEF);
        // The file stays with the connector that opened it.
        KLAVUsbConnector later(copy);
        EXPECT_TRUE(later.stringToBytes({}, {}).isEmpty());
        EXPECT_FALSE(copy.stringToBytes({}, {}).isEmpty());
    };
    const KLAVUsbConnector original = connector("copied.db");
    KLAVUsbConnector copied(original);
    opens(copied);
    KLAVUsbConnector assigned(KLAVDevice(), KLAVDbManager(), 2); // no factory, no file
    assigned = connector("assigned.db");
    opens(assigned);
}

TEST_F(KLAVUsbConnectorTest, AMissingFileIsNeitherCreatedNorSent)
{
    KLAVUsbConnector missing = connector("missing.db");
    QByteArray replyText;
    EXPECT_EQ(missing.operate(replyText), LOAD_NOT_COHERENT);
    EXPECT_EQ(terminal.portsCreated, 0);
    EXPECT_FALSE(QFile::exists(path("missing.db")));
}
