#include "KLAVUsbConnector.h"

#include "KLAVCrc.h"
#include "KLAVRequestFrame.h"
#include "base/KLAVLog.h"
#include "base/KLAVVisibleText.h"
#include "load/KLAVLoadResult.h"
#include "platform/NativeFile.h"
#include "port/KLAVPcscPort.h"
#include "port/KLAVSerialPort.h"

#include <algorithm>
#include <cstdio>

#include <QString>

namespace {

// SQLite's file header: its change counter and page count move with every
// committed change that reaches the file.
constexpr qint64 kDatabaseHeaderSize = 100;

// Bytes 1 to 6 of the initialisation frame and its reply: bytes 3 and 4
// (least significant first) are 30720, the largest data frame.
constexpr char kInitialisationBody[] = "\xC0\x04\x00\x78\x01\x2C";
constexpr char kInitialisationReplyBody[] = "\xE0\x04\x00\x78\x01\x2C";
constexpr char kRequestReplyBody[] = "\x40\x02\x00\x00";

// Largest payload of one data frame: 3 header bytes make 30720.
constexpr int kBlockSize = 30717;
constexpr int kDataReplyCapacity = 255;
constexpr uint8_t kBlockAccepted = 0x05;
constexpr uint8_t kBlockNack = 0x06;
const uint8_t kEndingFrame[3] = {0x02, 0x00, 0x00};
const uint8_t kEndingReply[3] = {0x05, 0x00, 0x00};

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

QByteArray framed(std::uint8_t first, const char *body, int bodySize)
{
    QByteArray frame;
    frame.append(char(first));
    frame.append(body, bodySize);
    KLAVCrc::appendCrc(frame);
    return frame;
}

} // namespace

KLAVUsbConnector::KLAVUsbConnector(const KLAVDevice &device, const KLAVDbManager &dbManager,
                                   int pad)
    : device(device), dbManager(dbManager), padRequestByte(requestByteFor(pad)),
      padReplyByte(replyByteFor(pad)), pad(pad)
{
    writeLog(LOG_ENTER, "KLAVUsbConnector::KLAVUsbConnector");
    writeLog(LOG_EXIT, "KLAVUsbConnector::KLAVUsbConnector");
}

KLAVUsbConnector::KLAVUsbConnector(const KLAVUsbConnector &other)
    : KLAVUsbConnector(other.device, other.dbManager, other.pad)
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
        portFactory = other.portFactory;
        report = other.report;
        pad = other.pad;
        padRequestByte = requestByteFor(pad);
        padReplyByte = replyByteFor(pad);
    }
    return *this;
}

KLAVUsbConnector::~KLAVUsbConnector() = default;

std::uint8_t KLAVUsbConnector::requestByteFor(int pad)
{
    return static_cast<std::uint8_t>(static_cast<unsigned>(pad) * 16u + 15u);
}

std::uint8_t KLAVUsbConnector::replyByteFor(int pad)
{
    return static_cast<std::uint8_t>(static_cast<unsigned>(pad) - 16u);
}

bool KLAVUsbConnector::openDatabaseFile()
{
    writeLog(LOG_ENTER, "KLAVUsbConnector::openDatabaseFile");
    auto opened = std::make_unique<QFile>();
    FileProblem problem = FileProblem::None;
    if (!stamped) // opened without the opening phase: the load begins here
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
    writeLog(LOG_EXIT, "KLAVUsbConnector::openDatabaseFile");
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
    writeLog(LOG_ENTER, "KLAVUsbConnector::selectEntries");
    const QString table = QStringLiteral("R_DBINFO");
    dbManager.setQuery(table);
    KLAVRequestFrame::Entries entries = KLAVRequestFrame::selectEntries(
        [this, &table] { return dbManager.getNextData(table); }, databaseFileSize());
    numbers = std::move(entries.numbers);
    texts = std::move(entries.texts);
    writeLog(LOG_EXIT, "KLAVUsbConnector::selectEntries");
}

QByteArray KLAVUsbConnector::stringToBytes(QList<QByteArray> numbers, QList<QByteArray> texts)
{
    writeLog(LOG_ENTER, "KLAVUsbConnector::stringToBytes");
    QByteArray frame;
    if (!file) {
        writeLog(LOG_ERROR, "Database file is not open: no request frame");
    } else if (auto encoded = KLAVRequestFrame::encode(padRequestByte, fileSize, numbers, texts)) {
        frame = *encoded;
    }
    writeLog(LOG_EXIT, "KLAVUsbConnector::stringToBytes");
    return frame;
}

QByteArray KLAVUsbConnector::initialisationFrame() const
{
    return framed(padRequestByte, kInitialisationBody, sizeof kInitialisationBody - 1);
}

QByteArray KLAVUsbConnector::expectedInitialisationReply() const
{
    return framed(padReplyByte, kInitialisationReplyBody, sizeof kInitialisationReplyBody - 1);
}

QByteArray KLAVUsbConnector::expectedRequestReply() const
{
    return framed(padReplyByte, kRequestReplyBody, sizeof kRequestReplyBody - 1);
}

std::unique_ptr<KLAVDevicePort> KLAVUsbConnector::createPortFor(const KLAVDevice &device)
{
    if (device.isPCSC())
        return std::make_unique<KLAVPcscPort>(device.getLpFileName().c_str());
    return std::make_unique<KLAVSerialPort>(device.getLpFileName());
}

int KLAVUsbConnector::operate(QByteArray &replyText)
{
    writeLog(LOG_ENTER, "KLAVUsbConnector::operate");
    const int result = runOpeningPhase(replyText);
    // The rows are read: the SQL connection ends on the thread that used it.
    dbManager.close();
    writeLog(LOG_EXIT, "KLAVUsbConnector::operate");
    return result;
}

void KLAVUsbConnector::showLine(const char *text) const
{
    if (report)
        report->line(text);
}

int KLAVUsbConnector::runOpeningPhase(QByteArray &replyText)
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
    writeLog(LOG_ENTER, "KLAVUsbConnector::initializeConnection");
    port = portFactory(device);
    const QByteArray frame = initialisationFrame();
    const QByteArray expected = expectedInitialisationReply();
    uint8_t reply[9] = {};
    int32_t replyLength = sizeof reply;
    port->ExecuteCommand(reinterpret_cast<const uint8_t *>(frame.constData()), frame.size(), reply,
                         &replyLength, port->getReadIntervalTimeout(), port->getReadTotalTimeout());
    writeLog(LOG_INFO, "Init Request sent, size of answer : %d", replyLength);
    int equal = 0;
    for (int i = 0; i < replyLength; ++i) {
        const uint8_t want = uint8_t(expected[i]);
        writeLog(LOG_DATA, "Byte %d : %02X expected %02X", i, reply[i], want);
        equal += reply[i] == want;
    }
    answered = replyLength != 0;
    writeLog(LOG_EXIT, "KLAVUsbConnector::initializeConnection");
    return equal == replyLength;
}

bool KLAVUsbConnector::sendRequestFrame(QByteArray frame, QByteArray &replyText)
{
    writeLog(LOG_ENTER, "KLAVUsbConnector::sendRequestFrame");
    uint8_t reply[7] = {};
    int32_t replyLength = sizeof reply;
    port->ExecuteCommand(reinterpret_cast<const uint8_t *>(frame.constData()), frame.size(), reply,
                         &replyLength, port->getReadIntervalTimeout(), port->getReadTotalTimeout());
    writeLog(LOG_INFO, "Request message : number of bytes = %d", int(frame.size()));
    for (int i = 0; i < frame.size(); ++i)
        writeLog(LOG_DATA, "Byte sent %d : %02X", i, uint8_t(frame[i]));
    writeLog(LOG_INFO, "Request response : number of bytes = %d", replyLength);
    replyText = "0x";
    for (int i = 0; i < replyLength; ++i) {
        writeLog(LOG_DATA, "Byte received %d : %02X", i, reply[i]);
        replyText += QByteArray::number(reply[i], 16).rightJustified(2, '0').toUpper();
    }
    const QByteArray expected = expectedRequestReply();
    int equal = 0;
    for (int i = 0; i < replyLength; ++i) {
        writeLog(LOG_DATA, "Byte %d : %02X", i, reply[i]);
        const bool same = reply[i] == uint8_t(expected[i]);
        writeLog(LOG_DATA, "%s", same ? "TRUE" : "FALSE");
        equal += same;
    }
    const bool confirmed = replyLength == 7 && equal == 7;
    writeLog(LOG_INFO, "%s",
             confirmed ? "Succeeded to send request frame" : "Failed to send request frame");
    writeLog(LOG_EXIT, "KLAVUsbConnector::sendRequestFrame");
    return confirmed;
}

int KLAVUsbConnector::sendDataFrame(QString &nackText)
{
    writeLog(LOG_ENTER, "KLAVUsbConnector::sendDataFrame");
    // One frame buffer for the whole load: the file is never held whole.
    QByteArray &frame = dataFrame;
    frame.resize(3 + kBlockSize);
    // The terminal keeps only a file that is the one the load began with:
    // a write to it since stops the load before the next block and before
    // the ending frame.
    const bool atEnd = !file || bytesRead >= fileSize;
    if (file && !unchangedSinceStart(atEnd)) {
        refuse("\nThe database file changed during the load: the load stops before the terminal "
               "takes it; close the program that writes it, then start the load again");
        writeLog(LOG_EXIT, "KLAVUsbConnector::sendDataFrame");
        return LOAD_FILE_NOT_OPENED;
    }
    if (atEnd) {
        writeLog(LOG_ERROR, "All data in file have been read");
        writeLog(LOG_EXIT, "KLAVUsbConnector::sendDataFrame");
        return LOAD_END_OF_FILE;
    }
    const qint64 n = std::min<qint64>(kBlockSize, fileSize - bytesRead);
    if (!readFully(*file, frame.data() + 3, n)) {
        writeLog(LOG_ERROR, "Database file could not be read at offset %lld (%s)",
                 static_cast<long long>(bytesRead), qPrintable(file->errorString()));
        writeLog(LOG_EXIT, "KLAVUsbConnector::sendDataFrame");
        return LOAD_FILE_NOT_OPENED;
    }
    bytesRead += n;
    frame[0] = 0x01;
    frame[1] = char(n >> 8);
    frame[2] = char(n & 0xFF);
    const int32_t frameLength = int32_t(3 + n);
    writeLog(LOG_INFO, "First byte : %02X", uint8_t(frame[0]));
    writeLog(LOG_INFO, "Second byte: %02X", uint8_t(frame[1]));
    writeLog(LOG_INFO, "Third byte : %02X", uint8_t(frame[2]));
    writeLog(LOG_INFO, "Number of bytes sent : %d", frameLength);

    uint8_t reply[kDataReplyCapacity] = {};
    int32_t replyLength = kDataReplyCapacity;
    KLAVAnswerEnd acceptance;
    acceptance.leadByte = kBlockAccepted;
    acceptance.quietGap = kAcceptanceQuietGap;
    port->ExecuteCommand(reinterpret_cast<const uint8_t *>(frame.constData()), frameLength, reply,
                         &replyLength, port->getReadIntervalTimeout(), port->getReadTotalTimeout(),
                         acceptance);
    writeLog(LOG_DATA, "Number of bytes received : %d", replyLength);
    for (int i = 0; i < replyLength; ++i)
        writeLog(LOG_DATA, "Data %d : Response = %02X", i, reply[i]);

    int result;
    if (replyLength == 0) {
        writeLog(LOG_ERROR, "No response was received");
        showLine("\nNo response from the terminal");
        result = LOAD_NO_RESPONSE;
    } else if (reply[0] == kBlockAccepted) {
        bytesSent += int32_t(n);
        result = LOAD_OK;
    } else {
        writeLog(LOG_INFO, "Data block refused : rep=0x%02x", reply[0]);
        if (reply[0] == kBlockNack) {
            if (replyLength > 3) {
                const char *text = reinterpret_cast<const char *>(reply + 3);
                nackText = QString::fromLatin1(text, int(qstrnlen(text, uint(replyLength - 3))));
                result = LOAD_NACK;
            } else {
                result = LOAD_NACK_INCOMPLETE;
            }
        } else {
            writeLog(LOG_ERROR, "Data block was refused");
            result = LOAD_BLOCK_REFUSED;
        }
    }
    writeLog(LOG_EXIT, "KLAVUsbConnector::sendDataFrame");
    return result;
}

uint32_t KLAVUsbConnector::endingTimeout(std::int64_t fileSize, uint32_t portTotalTimeout)
{
    const std::int64_t perSize = fileSize * 20000 / 1048576;
    // A time-out of 0 would mean "wait for ever" to a serial driver: a
    // small file still waits the port's normal time.
    return uint32_t(std::max<std::int64_t>(perSize, portTotalTimeout));
}

bool KLAVUsbConnector::sendEndingFrame()
{
    writeLog(LOG_ENTER, "KLAVUsbConnector::sendEndingFrame");
    const uint32_t timeout = endingTimeout(databaseFileSize(), port->getReadTotalTimeout());
    uint8_t reply[3] = {};
    int32_t replyLength = sizeof reply;
    port->ExecuteCommand(kEndingFrame, sizeof kEndingFrame, reply, &replyLength, timeout, timeout);
    bool confirmed = true;
    if (replyLength < 3) {
        writeLog(LOG_ERROR, "Not received enough bytes as response");
        confirmed = false;
    } else {
        for (int i = 0; i < 3 && confirmed; ++i) {
            writeLog(LOG_ERROR, "Byte received : %02X - Desired received byte : %02X", reply[i],
                     kEndingReply[i]);
            if (reply[i] != kEndingReply[i]) {
                writeLog(LOG_ERROR, "Error on ending frame");
                confirmed = false;
            }
        }
    }
    if (confirmed)
        writeLog(LOG_INFO, "Succeeded to send ending frame");
    writeLog(LOG_EXIT, "KLAVUsbConnector::sendEndingFrame");
    return confirmed;
}

bool KLAVUsbConnector::closeConnection()
{
    writeLog(LOG_ENTER, "KLAVUsbConnector::closeConnection");
    const bool closed = port ? port->closePort() : true;
    writeLog(LOG_EXIT, "KLAVUsbConnector::closeConnection");
    return closed;
}

int KLAVUsbConnector::getProgress() const
{
    const std::int64_t size = databaseFileSize();
    return size > 0 ? int(std::int64_t(bytesSent) * 100 / size) : 0;
}
