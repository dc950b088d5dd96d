// The diagnostic log of whole loads through the connector and the loading
// thread against a scripted terminal, line by line and in order: the depth
// and marker of every enter and exit line, and the traces of the exchanges.

#include "LogCapture.h"
#include "ScriptedPort.h"
#include "TestDatabase.h"

#include "load/KLAVDbManager.h"
#include "load/KLAVLoadResult.h"
#include "load/KLAVThread.h"
#include "load/KLAVUsbConnector.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kPad = 2;

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// A load of a 1024-byte database that the terminal takes: one block.
const std::vector<std::string> kWholeLoad = {
    "=> KLAVDbManager::KLAVDbManager",
    "<= KLAVDbManager::KLAVDbManager",
    "KLAVDevice::KLAVDevice",
    "=> KLAVUsbConnector::KLAVUsbConnector",
    "<= KLAVUsbConnector::KLAVUsbConnector",
    "KLAVDevice::~KLAVDevice",
    "=> KLAVUsbConnector::KLAVUsbConnector",
    "<= KLAVUsbConnector::KLAVUsbConnector",
    "=> KLAVUsbConnector::KLAVUsbConnector",
    "<= KLAVUsbConnector::KLAVUsbConnector",
    "=> KLAVThread::KLAVThread",
    "<= KLAVThread::KLAVThread",
    "KLAVDevice::~KLAVDevice",
    "=> KLAVThread::operate",
    "  => KLAVUsbConnector::operate",
    "    => KLAVDbManager::getDbFile",
    "    <= KLAVDbManager::getDbFile",
    "    => KLAVDbManager::checkCoherence",
    "      Database is successully opened",
    "      Database integrity check succeeded",
    "    <= KLAVDbManager::checkCoherence",
    "    The database is coherent",
    "    => KLAVUsbConnector::openDatabaseFile",
    "    <= KLAVUsbConnector::openDatabaseFile",
    "    => KLAVUsbConnector::initializeConnection",
    "      Init Request sent, size of answer : 9",
    "         Byte 0 : F2 expected F2",
    "         Byte 1 : E0 expected E0",
    "         Byte 2 : 04 expected 04",
    "         Byte 3 : 00 expected 00",
    "         Byte 4 : 78 expected 78",
    "         Byte 5 : 01 expected 01",
    "         Byte 6 : 2C expected 2C",
    "         Byte 7 : 45 expected 45",
    "         Byte 8 : BB expected BB",
    "    <= KLAVUsbConnector::initializeConnection",
    "    Protocol initialization succeeded",
    "    => KLAVUsbConnector::selectEntries",
    "      KLAVDbManager::setQuery",
    "      => KLAVDbManager::getNextData",
    "        => KLAVDbManager::getFields",
    "          Obtained number of fields",
    "          Obtained field type",
    "        <= KLAVDbManager::getFields",
    "      <= KLAVDbManager::getNextData",
    "      Read a valid line from R_DBINFO",
    "      => KLAVDbManager::getNextData",
    "        => KLAVDbManager::getFields",
    "          Obtained number of fields",
    "          Obtained field type",
    "        <= KLAVDbManager::getFields",
    "        No next data",
    "      <= KLAVDbManager::getNextData",
    "    <= KLAVUsbConnector::selectEntries",
    "    => KLAVUsbConnector::stringToBytes",
    "      File size = 1024, We need 2 bytes",
    "      A byte got : 04",
    "      A byte got : 00",
    "    <= KLAVUsbConnector::stringToBytes",
    "    => KLAVUsbConnector::sendRequestFrame",
    "      Request message : number of bytes = 18",
    "         Byte sent 0 : 2F",
    "         Byte sent 1 : 40",
    "         Byte sent 2 : 0D",
    "         Byte sent 3 : 05",
    "         Byte sent 4 : 01",
    "         Byte sent 5 : 01",
    "         Byte sent 6 : 60",
    "         Byte sent 7 : 04",
    "         Byte sent 8 : 80",
    "         Byte sent 9 : 02",
    "         Byte sent 10 : 04",
    "         Byte sent 11 : 00",
    "         Byte sent 12 : 81",
    "         Byte sent 13 : 02",
    "         Byte sent 14 : 41",
    "         Byte sent 15 : 42",
    "         Byte sent 16 : C2",
    "         Byte sent 17 : 07",
    "      Request response : number of bytes = 7",
    "         Byte received 0 : F2",
    "         Byte received 1 : 40",
    "         Byte received 2 : 02",
    "         Byte received 3 : 00",
    "         Byte received 4 : 00",
    "         Byte received 5 : 21",
    "         Byte received 6 : 2A",
    "         Byte 0 : F2",
    "         TRUE",
    "         Byte 1 : 40",
    "         TRUE",
    "         Byte 2 : 02",
    "         TRUE",
    "         Byte 3 : 00",
    "         TRUE",
    "         Byte 4 : 00",
    "         TRUE",
    "         Byte 5 : 21",
    "         TRUE",
    "         Byte 6 : 2A",
    "         TRUE",
    "      Succeeded to send request frame",
    "    <= KLAVUsbConnector::sendRequestFrame",
    "  <= KLAVUsbConnector::operate",
    "  Communication initialization process succeeded",
    "  => KLAVUsbConnector::sendDataFrame",
    "    First byte : 01",
    "    Second byte: 04",
    "    Third byte : 00",
    "    Number of bytes sent : 1027",
    "       Number of bytes received : 1",
    "       Data 0 : Response = 05",
    "  <= KLAVUsbConnector::sendDataFrame",
    "  => KLAVUsbConnector::sendDataFrame",
    "       All data in file have been read",
    "  <= KLAVUsbConnector::sendDataFrame",
    "  Data processing has been finished",
    "  All data frames have been sent",
    "  => KLAVUsbConnector::sendEndingFrame",
    "       Byte received : 05 - Desired received byte : 05",
    "       Byte received : 00 - Desired received byte : 00",
    "       Byte received : 00 - Desired received byte : 00",
    "    Succeeded to send ending frame",
    "  <= KLAVUsbConnector::sendEndingFrame",
    "  Loading succeeded",
    "  => KLAVUsbConnector::closeConnection",
    "  <= KLAVUsbConnector::closeConnection",
    "  Connection has been successfully closed",
    "<= KLAVThread::operate",
    "KLAVDevice::~KLAVDevice",
    "KLAVDevice::~KLAVDevice",
};

class LoadLogTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    // Runs one load of the database at path against terminal and returns
    // every line of its log after the time stamp (depth, marker, message),
    // without the log's own first line, which names its file.
    std::vector<std::string> loadLog(ScriptedTerminal &terminal, const QString &path, int result)
    {
        std::vector<std::string> lines;
        LogCapture log;
        {
            KLAVUsbConnector connector(KLAVDevice(), KLAVDbManager(QFile::encodeName(path)), kPad);
            connector.setPortFactory(terminal.factory());
            KLAVThread thread(connector);
            EXPECT_EQ(thread.operate(), result);
        }
        for (const std::string &line : log.lines()) {
            const size_t at = line.find(" - KLAVLD ");
            lines.push_back(at == std::string::npos ? line : line.substr(at + 10));
        }
        if (!lines.empty())
            lines.erase(lines.begin());
        return lines;
    }

    QString database()
    {
        const QString path = dir.filePath(QString("db-%1.db").arg(++databases));
        EXPECT_TRUE(TestDatabase::createOfSize(path, 1024));
        return path;
    }

    QTemporaryDir dir;
    int databases = 0;
};

} // namespace

TEST_F(LoadLogTest, AWholeLoadLineByLine)
{
    ScriptedTerminal terminal;
    terminal.reply = [](const QByteArray &command, int) {
        return ScriptedTerminal::wellBehaved(command, kPad);
    };
    EXPECT_EQ(loadLog(terminal, database(), LOAD_OK), kWholeLoad);
}

// Each way a load ends: the log from where it leaves the whole load's to its
// end, so every exit line is seen once and in its place.
TEST_F(LoadLogTest, EveryWayALoadEndsLineByLine)
{
    using Twist = std::function<void(ScriptedTerminal &, const QString &)>;
    const Twist changedAfterTheBlock = [](ScriptedTerminal &terminal, const QString &path) {
        terminal.afterExchange = [path](int index) {
            if (index == 2)
                QFile::resize(path, 2000);
        };
    };
    const Twist notADatabase = [](ScriptedTerminal &, const QString &path) {
        ASSERT_TRUE(TestDatabase::write(path, QByteArray(3000, 'x')));
    };
    struct Row {
        const char *name;
        int replyIndex;   // the command whose reply is replaced (-1: none)
        QByteArray reply; // what the terminal answers it
        int result;
        Twist twist; // what else happens, or nullptr
        std::vector<std::string> tail;
    };
    const Row rows[] = {
        {"silence",
         0,
         {},
         LOAD_NO_RESPONSE,
         nullptr,
         {
             "    => KLAVUsbConnector::initializeConnection",
             "      Init Request sent, size of answer : 0",
             "    <= KLAVUsbConnector::initializeConnection",
             "       No response from the terminal",
             "  <= KLAVUsbConnector::operate",
             "     Communication initialization process failed",
             "  => KLAVUsbConnector::closeConnection",
             "  <= KLAVUsbConnector::closeConnection",
             "  Connection has been successfully closed",
             "<= KLAVThread::operate",
             "KLAVDevice::~KLAVDevice",
             "KLAVDevice::~KLAVDevice",
         }},
        {"an unexpected initialisation byte",
         0,
         hex("F2E0040079012C45BB"),
         LOAD_INIT_FAILED,
         nullptr,
         {
             "    => KLAVUsbConnector::initializeConnection",
             "      Init Request sent, size of answer : 9",
             "         Byte 0 : F2 expected F2",
             "         Byte 1 : E0 expected E0",
             "         Byte 2 : 04 expected 04",
             "         Byte 3 : 00 expected 00",
             "         Byte 4 : 79 expected 78",
             "         Byte 5 : 01 expected 01",
             "         Byte 6 : 2C expected 2C",
             "         Byte 7 : 45 expected 45",
             "         Byte 8 : BB expected BB",
             "    <= KLAVUsbConnector::initializeConnection",
             "       Protocol initialization failed",
             "  <= KLAVUsbConnector::operate",
             "     Communication initialization process failed",
             "  => KLAVUsbConnector::closeConnection",
             "  <= KLAVUsbConnector::closeConnection",
             "  Connection has been successfully closed",
             "<= KLAVThread::operate",
             "KLAVDevice::~KLAVDevice",
             "KLAVDevice::~KLAVDevice",
         }},
        {"a request reply of two bytes",
         1,
         hex("F240"),
         LOAD_REQUEST_REFUSED,
         nullptr,
         {
             "      Request response : number of bytes = 2",
             "         Byte received 0 : F2",
             "         Byte received 1 : 40",
             "         Byte 0 : F2",
             "         TRUE",
             "         Byte 1 : 40",
             "         TRUE",
             "      Failed to send request frame",
             "    <= KLAVUsbConnector::sendRequestFrame",
             "  <= KLAVUsbConnector::operate",
             "     Communication initialization process failed",
             "     Update request failed with returned message : 0xF240",
             "  => KLAVUsbConnector::closeConnection",
             "  <= KLAVUsbConnector::closeConnection",
             "  Connection has been successfully closed",
             "<= KLAVThread::operate",
             "KLAVDevice::~KLAVDevice",
             "KLAVDevice::~KLAVDevice",
         }},
        {"a NACK with its text",
         2,
         hex("060003457272"),
         LOAD_NACK,
         nullptr,
         {
             "  => KLAVUsbConnector::sendDataFrame",
             "    First byte : 01",
             "    Second byte: 04",
             "    Third byte : 00",
             "    Number of bytes sent : 1027",
             "       Number of bytes received : 6",
             "       Data 0 : Response = 06",
             "       Data 1 : Response = 00",
             "       Data 2 : Response = 03",
             "       Data 3 : Response = 45",
             "       Data 4 : Response = 72",
             "       Data 5 : Response = 72",
             "    Data block refused : rep=0x06",
             "  <= KLAVUsbConnector::sendDataFrame",
             "  Data processing has been finished",
             "     A NACK was received : Err",
             "  => KLAVUsbConnector::closeConnection",
             "  <= KLAVUsbConnector::closeConnection",
             "  Connection has been successfully closed",
             "<= KLAVThread::operate",
             "KLAVDevice::~KLAVDevice",
             "KLAVDevice::~KLAVDevice",
         }},
        {"a NACK without its text",
         2,
         hex("0600"),
         LOAD_NACK_INCOMPLETE,
         nullptr,
         {
             "  => KLAVUsbConnector::sendDataFrame",
             "    First byte : 01",
             "    Second byte: 04",
             "    Third byte : 00",
             "    Number of bytes sent : 1027",
             "       Number of bytes received : 2",
             "       Data 0 : Response = 06",
             "       Data 1 : Response = 00",
             "    Data block refused : rep=0x06",
             "  <= KLAVUsbConnector::sendDataFrame",
             "  Data processing has been finished",
             "     An incomplete NACK was received",
             "  => KLAVUsbConnector::closeConnection",
             "  <= KLAVUsbConnector::closeConnection",
             "  Connection has been successfully closed",
             "<= KLAVThread::operate",
             "KLAVDevice::~KLAVDevice",
             "KLAVDevice::~KLAVDevice",
         }},
        {"a refused block",
         2,
         hex("15"),
         LOAD_BLOCK_REFUSED,
         nullptr,
         {
             "  => KLAVUsbConnector::sendDataFrame",
             "    First byte : 01",
             "    Second byte: 04",
             "    Third byte : 00",
             "    Number of bytes sent : 1027",
             "       Number of bytes received : 1",
             "       Data 0 : Response = 15",
             "    Data block refused : rep=0x15",
             "       Data block was refused",
             "  <= KLAVUsbConnector::sendDataFrame",
             "  Data processing has been finished",
             "  => KLAVUsbConnector::sendEndingFrame",
             "       Byte received : 05 - Desired received byte : 05",
             "       Byte received : 00 - Desired received byte : 00",
             "       Byte received : 00 - Desired received byte : 00",
             "    Succeeded to send ending frame",
             "  <= KLAVUsbConnector::sendEndingFrame",
             "  => KLAVUsbConnector::closeConnection",
             "  <= KLAVUsbConnector::closeConnection",
             "  Connection has been successfully closed",
             "<= KLAVThread::operate",
             "KLAVDevice::~KLAVDevice",
             "KLAVDevice::~KLAVDevice",
         }},
        {"no reply to a block",
         2,
         {},
         LOAD_NO_RESPONSE,
         nullptr,
         {
             "  => KLAVUsbConnector::sendDataFrame",
             "    First byte : 01",
             "    Second byte: 04",
             "    Third byte : 00",
             "    Number of bytes sent : 1027",
             "       Number of bytes received : 0",
             "       No response was received",
             "  <= KLAVUsbConnector::sendDataFrame",
             "  Data processing has been finished",
             "     Timeout when sending data",
             "  => KLAVUsbConnector::closeConnection",
             "  <= KLAVUsbConnector::closeConnection",
             "  Connection has been successfully closed",
             "<= KLAVThread::operate",
             "KLAVDevice::~KLAVDevice",
             "KLAVDevice::~KLAVDevice",
         }},
        {"an ending reply of two bytes",
         3,
         hex("0500"),
         LOAD_ENDING_FAILED,
         nullptr,
         {
             "  => KLAVUsbConnector::sendEndingFrame",
             "       Not received enough bytes as response",
             "  <= KLAVUsbConnector::sendEndingFrame",
             "     No response for the ending frame",
             "  => KLAVUsbConnector::closeConnection",
             "  <= KLAVUsbConnector::closeConnection",
             "  Connection has been successfully closed",
             "<= KLAVThread::operate",
             "KLAVDevice::~KLAVDevice",
             "KLAVDevice::~KLAVDevice",
         }},
        {"an unexpected ending byte",
         3,
         hex("050100"),
         LOAD_ENDING_FAILED,
         nullptr,
         {
             "  => KLAVUsbConnector::sendEndingFrame",
             "       Byte received : 05 - Desired received byte : 05",
             "       Byte received : 01 - Desired received byte : 00",
             "       Error on ending frame",
             "  <= KLAVUsbConnector::sendEndingFrame",
             "     No response for the ending frame",
             "  => KLAVUsbConnector::closeConnection",
             "  <= KLAVUsbConnector::closeConnection",
             "  Connection has been successfully closed",
             "<= KLAVThread::operate",
             "KLAVDevice::~KLAVDevice",
             "KLAVDevice::~KLAVDevice",
         }},
        {"the file written to after the block",
         -1,
         {},
         LOAD_FILE_NOT_OPENED,
         changedAfterTheBlock,
         {
             "  <= KLAVUsbConnector::sendDataFrame",
             "  => KLAVUsbConnector::sendDataFrame",
             "       The database file changed during the load: the load stops before the terminal "
             "takes it; close the program that writes it, then start the load again",
             "  <= KLAVUsbConnector::sendDataFrame",
             "  Data processing has been finished",
             "  => KLAVUsbConnector::closeConnection",
             "  <= KLAVUsbConnector::closeConnection",
             "  Connection has been successfully closed",
             "<= KLAVThread::operate",
             "KLAVDevice::~KLAVDevice",
             "KLAVDevice::~KLAVDevice",
         }},
        {"a file that is no database",
         -1,
         {},
         LOAD_NOT_COHERENT,
         notADatabase,
         {
             "    => KLAVDbManager::checkCoherence",
             "      Database is successully opened",
             "         Error in database integrity check",
             "    <= KLAVDbManager::checkCoherence",
             "       The database is not coherent",
             "  <= KLAVUsbConnector::operate",
             "     Communication initialization process failed",
             "  => KLAVUsbConnector::closeConnection",
             "  <= KLAVUsbConnector::closeConnection",
             "  Connection has been successfully closed",
             "<= KLAVThread::operate",
             "KLAVDevice::~KLAVDevice",
             "KLAVDevice::~KLAVDevice",
         }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedTerminal terminal;
        terminal.reply = [&row](const QByteArray &command, int index) {
            return index == row.replyIndex ? row.reply
                                           : ScriptedTerminal::wellBehaved(command, kPad);
        };
        const QString path = database();
        if (row.twist)
            row.twist(terminal, path);
        const std::vector<std::string> lines = loadLog(terminal, path, row.result);
        const auto from = std::find(lines.begin(), lines.end(), row.tail.front());
        ASSERT_NE(from, lines.end()) << row.tail.front();
        EXPECT_EQ(std::vector<std::string>(from, lines.end()), row.tail);
    }
}
