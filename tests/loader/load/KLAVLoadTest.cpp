// One whole load through the connector and the loading thread against a
// scripted terminal: the frames on the wire, every result code, console
// lines, signals, progress and cancellation.

#include "PtyPeer.h"
#include "ScriptedPort.h"
#include "StreamCapture.h"
#include "TestDatabase.h"

#include "load/KLAVConsoleReport.h"
#include "load/KLAVCrc.h"
#include "load/KLAVDbManager.h"
#include "load/KLAVLoadResult.h"
#include "load/KLAVThread.h"
#include "load/KLAVUsbConnector.h"
#include "port/KLAVSerialPort.h"

#include <QFile>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace {

using rdrload::testing::StreamCapture;

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

class LoadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        terminal.reply = [this](const QByteArray &command, int) {
            return ScriptedTerminal::wellBehaved(command, pad);
        };
    }

    QString database(qint64 size)
    {
        const QString path = dir.filePath(QString("db-%1.db").arg(++databases));
        EXPECT_TRUE(TestDatabase::createOfSize(path, size));
        return path;
    }

    KLAVUsbConnector connector(const QString &path)
    {
        KLAVUsbConnector made(KLAVDevice(), KLAVDbManager(QFile::encodeName(path)), pad);
        made.setPortFactory(terminal.factory());
        return made;
    }

    // Payload bytes of every data frame, in order.
    QByteArray dataSent() const
    {
        QByteArray all;
        for (const ScriptedExchange &e : terminal.exchanges)
            if (e.command.startsWith(char(0x01)))
                all += e.command.mid(3);
        return all;
    }
    bool endingSent() const
    {
        for (const ScriptedExchange &e : terminal.exchanges)
            if (e.command == hex("020000"))
                return true;
        return false;
    }

    QTemporaryDir dir;
    ScriptedTerminal terminal;
    int pad = 2;
    int databases = 0;
};

TEST_F(LoadTest, WholeLoadOf40000BytesSendsTheExpectedFrames)
{
    const QString path = database(40000);
    KLAVThread thread(connector(path));
    QSignalSpy progress(&thread, &KLAVThread::threadProgress);
    QSignalSpy feedback(&thread, &KLAVThread::threadFeedback);
    EXPECT_EQ(thread.operate(), LOAD_OK);

    const auto &x = terminal.exchanges;
    ASSERT_EQ(x.size(), 5);
    EXPECT_EQ(x[0].command, hex("2FC0040078012CB8E4"));
    EXPECT_EQ(x[0].capacity, 9);
    EXPECT_EQ(x[0].intervalTimeout, 500u);
    EXPECT_EQ(x[0].totalTimeout, 3000u);
    // Request: PAD byte, 40, LEN, 05 01 01 60, L, 80, size field 02 9C 40,
    // the entry 81 02 'A' 'B', CRC over all of it.
    const QByteArray request = x[1].command;
    EXPECT_EQ(request.left(12), hex("2F400D050101600480029C40"));
    EXPECT_EQ(request.mid(12, 4), hex("81024142"));
    EXPECT_EQ(request.size(), 18);
    EXPECT_EQ(request.right(2), KLAVCrc::computeCrc(request.constData(), 16));
    EXPECT_EQ(x[1].capacity, 7);
    EXPECT_EQ(x[2].command.left(3), hex("0177FD"));
    EXPECT_EQ(x[2].command.size(), 30720);
    EXPECT_EQ(x[2].capacity, 255);
    EXPECT_EQ(x[3].command.left(3), hex("012443"));
    EXPECT_EQ(x[3].command.size(), 3 + 9283);
    EXPECT_EQ(dataSent(), TestDatabase::contents(path));
    // 20 s per MiB gives 762 ms; the ending reply is never awaited for less
    // than the port's usual 3000 ms.
    EXPECT_EQ(x[4].command, hex("020000"));
    EXPECT_EQ(x[4].capacity, 3);
    EXPECT_EQ(x[4].intervalTimeout, 3000u);
    EXPECT_EQ(x[4].totalTimeout, 3000u);

    ASSERT_EQ(progress.size(), 2);
    EXPECT_EQ(progress[0][0].toInt(), 76);
    EXPECT_EQ(progress[1][0].toInt(), 100);
    ASSERT_EQ(feedback.size(), 1);
    EXPECT_EQ(feedback[0][0].toInt(), LOAD_OK);
    EXPECT_EQ(terminal.closes, 1);
}

TEST_F(LoadTest, BlockBoundariesAndTheEmptyFile)
{
    for (const qint64 size : {qint64(30717), qint64(30718), qint64(0)}) {
        terminal.exchanges.clear();
        const QString path = database(size);
        KLAVThread thread(connector(path));
        EXPECT_EQ(thread.operate(), LOAD_OK) << size;
        QList<QByteArray> headers;
        for (const ScriptedExchange &e : terminal.exchanges)
            if (e.command.startsWith(char(0x01)))
                headers.append(e.command.left(3));
        if (size == 30717)
            EXPECT_EQ(headers, QList<QByteArray>({hex("0177FD")}));
        else if (size == 30718)
            EXPECT_EQ(headers, QList<QByteArray>({hex("0177FD"), hex("010001")}));
        else
            EXPECT_TRUE(headers.isEmpty());
        EXPECT_EQ(dataSent(), TestDatabase::contents(path)) << size;
        EXPECT_TRUE(endingSent());
    }
}

TEST_F(LoadTest, InitialisationReplies)
{
    const QString path = database(2000);
    // Silence: 14, and the console says so twice.
    terminal.reply = [](const QByteArray &, int) { return QByteArray(); };
    {
        StreamCapture out(stdout);
        KLAVConsoleReport console;
        KLAVThread thread(connector(path), &console);
        EXPECT_EQ(thread.operate(), LOAD_NO_RESPONSE);
        EXPECT_EQ(out.release(),
                  "\nNo response from the terminal\nCommunication initialization process failed");
    }
    EXPECT_EQ(terminal.closes, 1);

    // The first five expected bytes only: accepted.
    terminal.reply = [this](const QByteArray &command, int index) {
        QByteArray reply = ScriptedTerminal::wellBehaved(command, pad);
        return index == 0 ? reply.left(5) : reply;
    };
    {
        KLAVThread thread(connector(path));
        EXPECT_EQ(thread.operate(), LOAD_OK);
    }
    // One wrong byte: 3, reported by signal; no request is sent.
    terminal.exchanges.clear();
    terminal.reply = [this](const QByteArray &command, int index) {
        QByteArray reply = ScriptedTerminal::wellBehaved(command, pad);
        if (index == 0)
            reply[4] = 0x79;
        return reply;
    };
    KLAVThread thread(connector(path));
    QSignalSpy feedback(&thread, &KLAVThread::threadFeedback);
    EXPECT_EQ(thread.operate(), LOAD_INIT_FAILED);
    EXPECT_EQ(terminal.exchanges.size(), 1);
    ASSERT_EQ(feedback.size(), 1);
    EXPECT_EQ(feedback[0][0].toInt(), LOAD_INIT_FAILED);
}

TEST_F(LoadTest, PadThreeAndARequestThatIsNotConfirmed)
{
    pad = 3;
    const QString path = database(2000);
    terminal.reply = [this](const QByteArray &command, int index) {
        QByteArray reply = ScriptedTerminal::wellBehaved(command, pad);
        return index == 1 ? reply.left(6) : reply;
    };
    KLAVThread thread(connector(path));
    QSignalSpy nack(&thread, &KLAVThread::threadFeedback_NACK);
    EXPECT_EQ(thread.operate(), LOAD_REQUEST_REFUSED);
    EXPECT_EQ(terminal.exchanges[0].command, hex("3FC0040078012C7151"));
    EXPECT_EQ(terminal.exchanges[1].command.left(2), hex("3F40"));
    EXPECT_EQ(terminal.exchanges.size(), 2);
    ASSERT_EQ(nack.size(), 1);
    EXPECT_EQ(nack[0][0].toString(), "Loading request failed - error : 0xF34002000065");
    EXPECT_EQ(terminal.closes, 1);
}

TEST_F(LoadTest, DataRepliesDecideTheResult)
{
    const QString path = database(70000); // three blocks
    struct Case {
        QByteArray secondBlockReply;
        int result;
        bool ending;
        const char *console;
    };
    const Case cases[] = {
        {hex("060003457272"), LOAD_NACK, false, "\nA NACK was received : Err"},
        // A text that would retitle and clear the technician's terminal is only shown.
        {hex("0600091B5D303B7007") + "\x1B[2J", LOAD_NACK, false,
         "\nA NACK was received : \\x1B]0;p\\x07\\x1B[2J"},
        {hex("06"), LOAD_NACK_INCOMPLETE, false, "\nAn incomplete NACK was received"},
        {hex("060001"), LOAD_NACK_INCOMPLETE, false, "\nAn incomplete NACK was received"},
        {hex("15"), LOAD_BLOCK_REFUSED, true, ""},
        {QByteArray(), LOAD_NO_RESPONSE, false,
         "\nNo response from the terminal\nTimeout when sending data"},
        {hex("05FFFF"), LOAD_OK, true,
         "\nAll data frames have been sent. Sending ending frame ... \nLoading succeeded\n"},
    };
    for (const Case &c : cases) {
        terminal.exchanges.clear();
        terminal.reply = [this, &c](const QByteArray &command, int index) {
            return index == 3 ? c.secondBlockReply : ScriptedTerminal::wellBehaved(command, pad);
        };
        StreamCapture out(stdout);
        KLAVConsoleReport console;
        KLAVThread thread(connector(path), &console);
        EXPECT_EQ(thread.operate(), c.result) << c.secondBlockReply.toHex().constData();
        EXPECT_EQ(endingSent(), c.ending) << c.result;
        const std::string text = out.release();
        const std::string opening = "\nCommunication initialization process succeeded";
        EXPECT_EQ(text.substr(0, opening.size()), opening);
        EXPECT_NE(text.find(c.console), std::string::npos) << text;
        EXPECT_EQ(text.find('\x1B'), std::string::npos) << text;
        if (c.result != LOAD_OK) {
            EXPECT_EQ(terminal.exchanges.size(),
                      c.ending ? 5 : 4); // nothing after the failed block
        }
    }
}

// How long the read of each data reply lasts, on the scripted line's virtual
// clock: an acceptance ends 20 ms after its last byte, every other reply
// keeps the port's 500 ms inter-byte and 3000 ms total time-outs.
TEST_F(LoadTest, AnAcceptanceEndsItsReadAfterAShortQuietGap)
{
    const QString path = database(70000); // three blocks
    struct Row {
        const char *name;
        QList<ScriptedPiece> reply; // to every data block
        int result;
        int firstReadMs; // the read of the first block's reply
        QByteArray firstAnswer;
        QString nack;
    };
    const Row rows[] = {
        {"05 alone", {{0, hex("05")}}, LOAD_OK, 20, hex("05"), {}},
        {"05 with a tail in the same burst", {{0, hex("050000")}}, LOAD_OK, 20, hex("050000"), {}},
        {"05 with a tail 10 ms later",
         {{0, hex("05")}, {10, hex("0000")}},
         LOAD_OK,
         30,
         hex("050000"),
         {}},
        // Later than the gap: the tail opens the next block's reply, as one
        // later than 500 ms does without the gap.
        {"05 with a tail 40 ms later",
         {{0, hex("05")}, {40, hex("0000")}},
         LOAD_BLOCK_REFUSED,
         20,
         hex("05"),
         {}},
        {"06 with its text 200 ms later",
         {{0, hex("060009")}, {200, "FULL TEXT"}},
         LOAD_NACK,
         700,
         hex("060009") + "FULL TEXT",
         "A NACK was received : FULL TEXT"},
        {"15 alone", {{0, hex("15")}}, LOAD_BLOCK_REFUSED, 500, hex("15"), {}},
        {"silence", {}, LOAD_NO_RESPONSE, 3000, {}, "Timeout when sending data"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        terminal.exchanges.clear();
        terminal.line.clear();
        terminal.pieces = [this, &row](const QByteArray &command, int) {
            if (command.startsWith(char(0x01)))
                return row.reply;
            return QList<ScriptedPiece>{{0, ScriptedTerminal::wellBehaved(command, pad)}};
        };
        KLAVThread thread(connector(path));
        QSignalSpy nack(&thread, &KLAVThread::threadFeedback_NACK);
        EXPECT_EQ(thread.operate(), row.result);

        const auto &x = terminal.exchanges;
        ASSERT_GE(x.size(), 3);
        EXPECT_EQ(x[2].readMs, row.firstReadMs);
        EXPECT_EQ(x[2].answer.toHex(), row.firstAnswer.toHex());
        for (const ScriptedExchange &e : x) {
            const bool data = e.command.startsWith(char(0x01));
            EXPECT_EQ(e.answerEnd.quietGap, data ? 20u : 0u);
            if (data)
                EXPECT_EQ(e.answerEnd.leadByte, 0x05);
        }
        if (row.result == LOAD_OK) {
            ASSERT_EQ(x.size(), 6);
            for (int i = 2; i < 5; ++i)
                EXPECT_EQ(x[i].answer.toHex(), row.firstAnswer.toHex()) << i;
            EXPECT_EQ(dataSent(), TestDatabase::contents(path));
            EXPECT_TRUE(endingSent());
        }
        ASSERT_EQ(nack.size(), row.nack.isEmpty() ? 0 : 1);
        if (!row.nack.isEmpty())
            EXPECT_EQ(nack[0][0].toString(), row.nack);
    }
}

TEST_F(LoadTest, AnUnconfirmedEndingIsCode8)
{
    const QString path = database(2000);
    for (const QByteArray &ending : {hex("050001"), hex("0500")}) {
        terminal.reply = [this, ending](const QByteArray &command, int) {
            return command == hex("020000") ? ending : ScriptedTerminal::wellBehaved(command, pad);
        };
        KLAVThread thread(connector(path));
        QSignalSpy feedback(&thread, &KLAVThread::threadFeedback);
        EXPECT_EQ(thread.operate(), LOAD_ENDING_FAILED);
        ASSERT_EQ(feedback.size(), 1);
        EXPECT_EQ(feedback[0][0].toInt(), LOAD_ENDING_FAILED);
    }
}

TEST_F(LoadTest, ADatabaseThatFailsItsCheckNeverReachesTheTerminal)
{
    const QString path = dir.filePath("text.db");
    ASSERT_TRUE(TestDatabase::write(path, QByteArray(3000, 'x')));
    StreamCapture out(stdout);
    KLAVConsoleReport console;
    KLAVThread thread(connector(path), &console);
    EXPECT_EQ(thread.operate(), LOAD_NOT_COHERENT);
    EXPECT_EQ(out.release(),
              "\nThe database is not coherent\nCommunication initialization process failed");
    EXPECT_EQ(terminal.portsCreated, 0);
}

TEST_F(LoadTest, ConsoleProgressIsPrintedAtNewMultiplesOfTen)
{
    auto progressLines = [this](qint64 size) {
        StreamCapture out(stdout);
        KLAVConsoleReport console;
        KLAVThread thread(connector(database(size)), &console);
        EXPECT_EQ(thread.operate(), LOAD_OK);
        std::string lines;
        const std::string text = out.release();
        for (size_t at = text.find("\nLoading progress"); at != std::string::npos;
             at = text.find("\nLoading progress", at + 1))
            lines += text.substr(at + 1, text.find('\n', at + 1) - at - 1) + ";";
        return lines;
    };
    EXPECT_EQ(progressLines(10 * 30717),
              "Loading progress : 10 %;Loading progress : 20 %;Loading progress : 30 %;"
              "Loading progress : 40 %;Loading progress : 50 %;Loading progress : 60 %;"
              "Loading progress : 70 %;Loading progress : 80 %;Loading progress : 90 %;"
              "Loading progress : 100 %;");
    EXPECT_EQ(progressLines(3 * 30717), "Loading progress : 100 %;");
    EXPECT_EQ(progressLines(30717), "Loading progress : 100 %;");
    // 20 blocks: each multiple of ten is reached twice but printed once.
    EXPECT_EQ(progressLines(20 * 30717).size(), progressLines(10 * 30717).size());
}

TEST_F(LoadTest, AFileWrittenToUnderTheLoadStopsItBeforeTheTerminalTakesIt)
{
    const QString path = database(3 * 30717);
    const QByteArray source = TestDatabase::contents(path);
    struct Case {
        const char *name;
        int afterExchange; // 2: after the first block, 4: after the last
        std::function<void(const QString &)> write;
    };
    const auto resize = [](qint64 size) {
        return [size](const QString &p) { QFile::resize(p, size); };
    };
    const Case cases[] = {
        {"cut inside block 2", 2, resize(45000)},
        {"cut after block 1", 2, resize(30717)},
        {"grown by a block", 2, resize(4 * 30717)},
        // A commit in place moves the change counter in the file's header.
        {"a commit in place after the last block", 4,
         [](const QString &p) {
             QFile f(p);
             ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.seek(24) && f.write("\x7F\x7F", 2) == 2);
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(TestDatabase::write(path, source)); // restored for each case
        terminal.exchanges.clear();
        terminal.afterExchange = [&path, &c](int index) {
            if (index == c.afterExchange)
                c.write(path);
        };
        StreamCapture out(stdout);
        KLAVConsoleReport console;
        KLAVThread thread(connector(path), &console);
        EXPECT_EQ(thread.operate(), LOAD_FILE_NOT_OPENED);
        const std::string text = out.release();
        terminal.afterExchange = nullptr;
        EXPECT_FALSE(endingSent());
        EXPECT_EQ(dataSent(), source.left(c.afterExchange == 2 ? 30717 : 3 * 30717));
        EXPECT_NE(text.find("\nThe database file changed during the load"), std::string::npos)
            << text;
    }
}

TEST_F(LoadTest, ADatabaseAnotherProgramIsWritingIsRefusedBeforeAnythingIsSent)
{
    struct Case {
        const char *name;
        QStringList writerStatements; // left open on the writer's connection
        const char *console;
    };
    const Case cases[] = {
        // Its changes spill into the file while the journal keeps the old pages.
        {"open write transaction",
         {"PRAGMA cache_size=1", "BEGIN", "UPDATE filler SET payload = zeroblob(201)"},
         "\nThe database is being written by another program (a journal is beside it): close the "
         "program"},
        {"committed changes in the write-ahead log",
         {"PRAGMA journal_mode=WAL", "PRAGMA wal_autocheckpoint=0",
          "UPDATE filler SET payload = zeroblob(150) WHERE id < 20"},
         "\nThe database has changes that are not in its file yet (a -wal file is beside it): "
         "close the program"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QString("written-%1.db").arg(++databases));
        ASSERT_TRUE(TestDatabase::createValid(path, 300));
        {
            QSqlDatabase writer = QSqlDatabase::addDatabase("QSQLITE", "writer");
            writer.setDatabaseName(path);
            ASSERT_TRUE(writer.open());
            QSqlQuery query(writer);
            for (const QString &statement : c.writerStatements)
                ASSERT_TRUE(query.exec(statement))
                    << statement.toStdString() << ": " << query.lastError().text().toStdString();
            const QByteArray before = TestDatabase::contents(path);

            StreamCapture out(stdout);
            KLAVConsoleReport console;
            KLAVThread thread(connector(path), &console);
            EXPECT_EQ(thread.operate(), LOAD_NOT_COHERENT);
            EXPECT_NE(out.release().find(c.console), std::string::npos);
            KLAVThread windowLoad(connector(path));
            QSignalSpy text(&windowLoad, &KLAVThread::threadFeedback_NACK);
            EXPECT_EQ(windowLoad.operate(), LOAD_NOT_COHERENT);
            ASSERT_EQ(text.size(), 1); // the window says what to do as well
            EXPECT_EQ(text[0][0].toString().toStdString().substr(0, 60),
                      std::string(c.console).substr(1, 60));
            EXPECT_EQ(terminal.portsCreated, 0);
            EXPECT_EQ(TestDatabase::contents(path), before); // the load changed nothing
            query.finish();
            writer.rollback();
            writer.close();
        }
        QSqlDatabase::removeDatabase("writer");
    }
}

// A port that never opened is not a silent terminal: the console says why.
TEST_F(LoadTest, APortInUseOrGoneIsToldAsSuchWithCode14)
{
    const QString path = database(2000);
    PtyPeer peer;
    KLAVSerialPort holder(peer.slavePath()); // another program's hold on the line
    ASSERT_TRUE(holder.isOpen());
    struct Case {
        std::string file;
        const char *line;
    };
    const Case cases[] = {
        {peer.slavePath(), " is in use by another program"},
        {"/dev/klav-no-such-tty", " does not exist any more"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        // The connector's own port for the record: a real serial port.
        KLAVUsbConnector made(
            KLAVDevice("", c.file, "ttyACM0", "Terminal", usbDeviceInterfaceClass()),
            KLAVDbManager(QFile::encodeName(path)), pad);
        StreamCapture out(stdout);
        KLAVConsoleReport console;
        KLAVThread thread(made, &console);
        EXPECT_EQ(thread.operate(), LOAD_NO_RESPONSE);
        EXPECT_EQ(out.release(), "\nThe port ttyACM0 (" + c.file + ")" + c.line +
                                     "\nCommunication initialization process failed");
    }
}

TEST_F(LoadTest, CancelStopsAfterTheBlockInFlightWithoutEndingFrame)
{
    const QString path = database(4 * 30717);
    for (const int cancelAt : {2, 5}) { // first block, last block
        terminal.exchanges.clear();
        KLAVThread thread(connector(path));
        terminal.afterExchange = [&thread, cancelAt](int index) {
            if (index == cancelAt)
                thread.loadCancel();
        };
        QSignalSpy feedback(&thread, &KLAVThread::threadFeedback);
        thread.start();
        ASSERT_TRUE(thread.wait(30000));
        ASSERT_EQ(feedback.size(), 1);
        EXPECT_EQ(feedback[0][0].toInt(), LOAD_CANCELLED);
        EXPECT_FALSE(endingSent());
        EXPECT_EQ(terminal.exchanges.size(), cancelAt + 1);
        terminal.afterExchange = nullptr;
    }
    EXPECT_EQ(terminal.closes, 2);
}

} // namespace
