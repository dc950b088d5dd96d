#include "KLAVUsbConnector.h"

#include "KLAVPortExchange.h"
#include "KLAVRequestFrame.h"
#include "base/KLAVLog.h"
#include "base/KLAVVisibleText.h"
#include "platform/NativeFile.h"
#include "port/KLAVPcscPort.h"
#include "port/KLAVSerialPort.h"

#include <algorithm>

#include <QString>

namespace {

// SQLite's file header: its change counter and page count move with every
// committed change that reaches the file.
constexpr qint64 kDatabaseHeaderSize = 100;

// An acceptance (a data reply that begins with 05) is complete once the
// line has been quiet this long after its last byte, instead of after the
// port's 500 ms inter-byte time-out. A tail of the same reply comes in the
// same USB packet (up to 64 bytes at full speed), or streams at 0.17 ms a
// byte on a 57600-baud line, or is held at most 16 ms by a USB-serial
// converter's latency timer: all well inside the gap. A tail later than the
// gap is read with the next exchange, as one later than 500 ms is. Other
// replies (a NACK and its text, a refusal) keep the port's time-outs.
constexpr uint32_t kAcceptanceQuietGap = 20;

// What each exchange writes in the log once its reply has come. The
// ending's reply is traced as it is compared.
const KLAVPortExchange::Trace kInitialisationTrace{nullptr, nullptr, LOG_INFO,
                                                   "Init Request sent, size of answer : %d",
                                                   "Byte %d : %02X expected %02X"};
const KLAVPortExchange::Trace kRequestTrace{
    "Request message : number of bytes = %d", "Byte sent %d : %02X", LOG_INFO,
    "Request response : number of bytes = %d", "Byte received %d : %02X"};
const KLAVPortExchange::Trace kDataTrace{
    nullptr, nullptr, LOG_DATA, "Number of bytes received : %d", "Data %d : Response = %02X"};
const KLAVPortExchange::Trace kEndingTrace{nullptr, nullptr, 0, nullptr, nullptr};

// Reads exactly count bytes; false on a read error or an early end of file.
bool readFully(QFile &file, char *data, qint64 count)
{
    while (count > 0) {
        const qint64 n = file.read(data, count);
        if (n <= 0)
            return false;
        data += n;
        count -= n;
    }
    return true;
}

} // namespace

KLAVUsbConnector::KLAVUsbConnector(const KLAVDevice &device, const KLAVDbManager &dbManager,
                                   int pad)
    : device(device), dbManager(dbManager), frames(pad)
{
    KLAVLogScope scope("KLAVUsbConnector::KLAVUsbConnector");
}

KLAVUsbConnector::KLAVUsbConnector(const KLAVUsbConnector &other)
    : KLAVUsbConnector(other.device, other.dbManager, other.frames.pad())
{
    portFactory = other.portFactory;
    report = other.report;
}

KLAVUsbConnector &KLAVUsbConnector::operator=(const KLAVUsbConnector &other)
{
    if (this != &other) {
        device = other.device;
        dbManager = other.dbManager;
        port.reset();
        file.reset();
        fileSize = 0;
        dbPath.clear();
        stamped = false;
        startStamp = FileStamp();
        startHeader.clear();
        failure.clear();
        bytesRead = 0;
        bytesSent = 0;
        frames = other.frames;
        portFactory = other.portFactory;
        report = other.report;
    }
    return *this;
}

KLAVUsbConnector::~KLAVUsbConnector() = default;

bool KLAVUsbConnector::openDatabaseFile()
{
    KLAVLogScope scope("KLAVUsbConnector::openDatabaseFile");
    auto opened = std::make_unique<QFile>();
    FileProblem problem = FileProblem::None;
    if (!stamped) // the file could not be looked at before: the load begins here
        stamped = takeSnapshot(startStamp, startHeader);
    bool ok = openRegularFile(databasePath(), *opened, &problem);
    if (!ok) {
        refuse(std::string("\nDatabase file ") + fileProblemText(problem));
    } else if (!KLAVRequestFrame::fileSizeFits(opened->size())) {
        writeLog(LOG_ERROR,
                 "Database file of %lld bytes is too large to be loaded (limit %lld bytes)",
                 static_cast<long long>(opened->size()),
                 static_cast<long long>(KLAVRequestFrame::kLargestFileSize));
        refuse(
            "\nThe database file is too large for a terminal: " + std::to_string(opened->size()) +
            " bytes, where the size field of the request frame holds at most " +
            std::to_string(KLAVRequestFrame::kLargestFileSize));
        ok = false;
    }
    // The size is taken once: what the request frame announces is what is sent.
    fileSize = ok ? opened->size() : 0;
    bytesRead = 0;
    file = ok ? std::move(opened) : nullptr;
    return ok;
}

void KLAVUsbConnector::refuse(const std::string &text)
{
    // Console lines begin with their line end; the log and the window take the words.
    const char *words = text.c_str() + (text.rfind('\n', 0) == 0 ? 1 : 0);
    writeLog(LOG_ERROR, "%s", words);
    showLine(text.c_str());
    failure = QString::fromUtf8(words);
}

const QByteArray &KLAVUsbConnector::databasePath()
{
    if (dbPath.isNull())
        dbPath = dbManager.getDbFile();
    return dbPath;
}

bool KLAVUsbConnector::takeSnapshot(FileStamp &stamp, QByteArray &header)
{
    const QByteArray path = databasePath();
    QFile opened;
    if (!fileStamp(path, stamp) || !openRegularFile(path, opened))
        return false;
    header = opened.read(kDatabaseHeaderSize);
    return true;
}

bool KLAVUsbConnector::unchangedSinceStart(bool withHeader)
{
    FileStamp now;
    QByteArray header;
    if (!withHeader)
        return fileStamp(databasePath(), now) && now == startStamp;
    return takeSnapshot(now, header) && now == startStamp && header == startHeader;
}

std::int64_t KLAVUsbConnector::databaseFileSize() const
{
    return file ? fileSize : 0;
}

void KLAVUsbConnector::selectEntries(QList<QByteArray> &numbers, QList<QByteArray> &texts)
{
    KLAVLogScope scope("KLAVUsbConnector::selectEntries");
    const QString table = QStringLiteral("R_DBINFO");
    dbManager.setQuery(table);
    KLAVRequestFrame::Entries entries = KLAVRequestFrame::selectEntries(
        [this, &table] { return dbManager.getNextData(table); }, databaseFileSize());
    numbers = std::move(entries.numbers);
    texts = std::move(entries.texts);
}

QByteArray KLAVUsbConnector::stringToBytes(QList<QByteArray> numbers, QList<QByteArray> texts)
{
    KLAVLogScope scope("KLAVUsbConnector::stringToBytes");
    if (!file) {
        writeLog(LOG_ERROR, "Database file is not open: no request frame");
        return QByteArray();
    }
    return frames.request(fileSize, numbers, texts).value_or(QByteArray());
}

std::unique_ptr<KLAVDevicePort> KLAVUsbConnector::createPortFor(const KLAVDevice &device)
{
    if (device.isPCSC())
        return std::make_unique<KLAVPcscPort>(device.getLpFileName().c_str());
    return std::make_unique<KLAVSerialPort>(device.getLpFileName());
}

KLAVLoadResult KLAVUsbConnector::operate(QByteArray &replyText)
{
    KLAVLogScope scope("KLAVUsbConnector::operate");
    const KLAVLoadResult result = runOpeningPhase(replyText);
    // The rows are read: the SQL connection ends on the thread that used it.
    dbManager.close();
    return result;
}

void KLAVUsbConnector::showLine(const char *text) const
{
    if (report)
        report->line(text);
}

KLAVLoadResult KLAVUsbConnector::runOpeningPhase(QByteArray &replyText)
{
    failure.clear();
    const QByteArray path = databasePath();
    // A FIFO or a device would hold the reads below for ever: refused at once.
    const FileProblem kind = entryProblem(path);
    if (kind != FileProblem::None && kind != FileProblem::Missing &&
        kind != FileProblem::PermissionDenied) {
        refuse(std::string("\nDatabase file ") + fileProblemText(kind));
        return LOAD_FILE_NOT_OPENED;
    }
    // What the file is now, before anything reads it: any write from here
    // to the ending frame shows against it.
    stamped = takeSnapshot(startStamp, startHeader);
    // The checks of the database come before any contact with the terminal.
    switch (dbManager.pendingWrite()) {
    case KLAVDbManager::PendingWrite::Journal:
        refuse("\nThe database is being written by another program (a journal is beside it): "
               "close the program that writes it, then start the load again");
        return LOAD_NOT_COHERENT;
    case KLAVDbManager::PendingWrite::Wal:
        refuse(
            "\nThe database has changes that are not in its file yet (a -wal file is beside it): "
            "close the program that writes it, then start the load again");
        return LOAD_NOT_COHERENT;
    case KLAVDbManager::PendingWrite::None:
        break;
    }
    if (!dbManager.checkCoherence()) {
        writeLog(LOG_ERROR, "The database is not coherent");
        showLine("\nThe database is not coherent");
        return LOAD_NOT_COHERENT;
    }
    writeLog(LOG_INFO, "The database is coherent");
    if (!openDatabaseFile()) {
        writeLog(LOG_ERROR, "Could not open database file");
        return LOAD_FILE_NOT_OPENED;
    }
    if (!unchangedSinceStart(true)) {
        refuse("\nThe database file was written to while it was checked: nothing is sent; "
               "close the program that writes it, then start the load again");
        return LOAD_FILE_NOT_OPENED;
    }
    bool answered = false;
    if (!initializeConnection(answered)) {
        writeLog(LOG_ERROR, "Protocol initialization failed");
        return LOAD_INIT_FAILED;
    }
    if (!answered) {
        if (const char *why = port->openFailure()) {
            // Not the terminal's silence: the port never opened.
            refuse("\nThe port " + consoleVisible(device.getPortCOM()) + " (" +
                   consoleVisible(device.getLpFileName()) + ") " + why);
            return LOAD_NO_RESPONSE;
        }
        writeLog(LOG_ERROR, "No response from the terminal");
        showLine("\nNo response from the terminal");
        return LOAD_NO_RESPONSE;
    }
    writeLog(LOG_INFO, "Protocol initialization succeeded");
    QList<QByteArray> numbers, texts;
    selectEntries(numbers, texts);
    return sendRequestFrame(stringToBytes(numbers, texts), replyText) ? LOAD_OK
                                                                      : LOAD_REQUEST_REFUSED;
}

bool KLAVUsbConnector::initializeConnection(bool &answered)
{
    KLAVLogScope scope("KLAVUsbConnector::initializeConnection");
    port = portFactory(device);
    const QByteArray expected = frames.initialisationReply();
    const QByteArray reply = KLAVPortExchange::run(
        *port, frames.initialisation(), portRead(expected.size()), kInitialisationTrace, expected);
    answered = !reply.isEmpty();
    // A reply cut short still initialises, as long as what came matches.
    return expected.startsWith(reply);
}

KLAVPortExchange::Read KLAVUsbConnector::portRead(int capacity) const
{
    return {capacity, port->getReadIntervalTimeout(), port->getReadTotalTimeout(), KLAVAnswerEnd()};
}

bool KLAVUsbConnector::sendRequestFrame(QByteArray frame, QByteArray &replyText)
{
    KLAVLogScope scope("KLAVUsbConnector::sendRequestFrame");
    const QByteArray expected = frames.requestReply();
    const QByteArray reply =
        KLAVPortExchange::run(*port, frame, portRead(expected.size()), kRequestTrace);
    replyText = "0x" + reply.toHex().toUpper();
    for (int i = 0; i < reply.size(); ++i) {
        writeLog(LOG_DATA, "Byte %d : %02X", i, uint8_t(reply[i]));
        writeLog(LOG_DATA, "%s", reply[i] == expected[i] ? "TRUE" : "FALSE");
    }
    const bool confirmed = reply == expected;
    writeLog(LOG_INFO, "%s",
             confirmed ? "Succeeded to send request frame" : "Failed to send request frame");
    return confirmed;
}

KLAVLoadResult KLAVUsbConnector::sendDataFrame(QString &nackText)
{
    KLAVLogScope scope("KLAVUsbConnector::sendDataFrame");
    // The terminal keeps only a file that is the one the load began with:
    // a write to it since stops the load before the next block and before
    // the ending frame.
    const bool atEnd = !file || bytesRead >= fileSize;
    if (file && !unchangedSinceStart(atEnd)) {
        refuse("\nThe database file changed during the load: the load stops before the terminal "
               "takes it; close the program that writes it, then start the load again");
        return LOAD_FILE_NOT_OPENED;
    }
    if (atEnd) {
        writeLog(LOG_ERROR, "All data in file have been read");
        return LOAD_END_OF_FILE;
    }
    const int n = int(std::min<qint64>(KLAVLoadFrames::kLargestPayload, fileSize - bytesRead));
    // One frame buffer for the whole load: the file is never held whole.
    char *payload = KLAVLoadFrames::shapeDataFrame(dataFrame, n);
    if (!readFully(*file, payload, n)) {
        writeLog(LOG_ERROR, "Database file could not be read at offset %lld (%s)",
                 static_cast<long long>(bytesRead), qPrintable(file->errorString()));
        return LOAD_FILE_NOT_OPENED;
    }
    bytesRead += n;
    writeLog(LOG_INFO, "First byte : %02X", uint8_t(dataFrame[0]));
    writeLog(LOG_INFO, "Second byte: %02X", uint8_t(dataFrame[1]));
    writeLog(LOG_INFO, "Third byte : %02X", uint8_t(dataFrame[2]));
    writeLog(LOG_INFO, "Number of bytes sent : %d", int(dataFrame.size()));

    KLAVPortExchange::Read read = portRead(KLAVLoadFrames::kDataReplyCapacity);
    read.answerEnd.leadByte = KLAVLoadFrames::kAcceptedByte;
    read.answerEnd.quietGap = kAcceptanceQuietGap;
    const QByteArray reply = KLAVPortExchange::run(*port, dataFrame, read, kDataTrace);
    const KLAVLoadResult result = KLAVLoadFrames::dataReplyResult(reply, nackText);
    if (result == LOAD_NO_RESPONSE) {
        writeLog(LOG_ERROR, "No response was received");
        showLine("\nNo response from the terminal");
    } else if (result == LOAD_OK) {
        bytesSent += int32_t(n);
    } else {
        writeLog(LOG_INFO, "Data block refused : rep=0x%02x", uint8_t(reply[0]));
        if (result == LOAD_BLOCK_REFUSED)
            writeLog(LOG_ERROR, "Data block was refused");
    }
    return result;
}

bool KLAVUsbConnector::sendEndingFrame()
{
    KLAVLogScope scope("KLAVUsbConnector::sendEndingFrame");
    const uint32_t timeout =
        KLAVLoadFrames::endingTimeout(databaseFileSize(), port->getReadTotalTimeout());
    const QByteArray expected = KLAVLoadFrames::endingReply();
    const QByteArray reply =
        KLAVPortExchange::run(*port, KLAVLoadFrames::ending(),
                              {expected.size(), timeout, timeout, KLAVAnswerEnd()}, kEndingTrace);
    bool confirmed = true;
    if (reply.size() < expected.size()) {
        writeLog(LOG_ERROR, "Not received enough bytes as response");
        confirmed = false;
    } else {
        for (int i = 0; i < expected.size() && confirmed; ++i) {
            writeLog(LOG_ERROR, "Byte received : %02X - Desired received byte : %02X",
                     uint8_t(reply[i]), uint8_t(expected[i]));
            if (reply[i] != expected[i]) {
                writeLog(LOG_ERROR, "Error on ending frame");
                confirmed = false;
            }
        }
    }
    if (confirmed)
        writeLog(LOG_INFO, "Succeeded to send ending frame");
    return confirmed;
}

bool KLAVUsbConnector::closeConnection()
{
    KLAVLogScope scope("KLAVUsbConnector::closeConnection");
    return port ? port->closePort() : true;
}

int KLAVUsbConnector::getProgress() const
{
    const std::int64_t size = databaseFileSize();
    return size > 0 ? int(std::int64_t(bytesSent) * 100 / size) : 0;
}
