#pragma once
// Speaks the loading protocol with one terminal over one device port:
//   operate          integrity check, database file, port, initialisation
//                    exchange, request frame with the R_DBINFO entries;
//   sendDataFrame    the file raw, in blocks of at most 30717 bytes, each
//                    acknowledged by the terminal (repeated);
//   sendEndingFrame  closes the transfer on the terminal's side;
//   closeConnection  closes the port.
// Wire format (bytes in sending order, CRC = CRC-16/KERMIT low byte first):
//   init     PADreq C0 04 00 78 01 2C CRC   -> PADrep E0 04 00 78 01 2C CRC
//   request  PADreq 40 LEN 05 01 01 60 L 80 k size entries CRC
//                                          -> PADrep 40 02 00 00 CRC
//   data     01 nHigh nLow payload[n]      -> 05 accepted, 06 .. .. text NACK,
//                                             anything else refused
//   ending   02 00 00                      -> 05 00 00

#include "KLAVDbManager.h"
#include "load/KLAVLoadReport.h"
#include "platform/NativeFile.h"
#include "port/KLAVDevice.h"
#include "port/KLAVDevicePort.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class KLAVUsbConnector {
public:
    // Creates the port for a device record: a PC/SC port for a PC/SC record,
    // a serial port otherwise. Replaceable so the exchanges can be tested
    // against a scripted terminal.
    using PortFactory = std::function<std::unique_ptr<KLAVDevicePort>(const KLAVDevice &)>;

    KLAVUsbConnector(const KLAVDevice &device, const KLAVDbManager &dbManager, int pad);
    // A copy shares the database connection, starts without an open file and
    // recomputes the PAD bytes from the PAD number.
    KLAVUsbConnector(const KLAVUsbConnector &other);
    KLAVUsbConnector &operator=(const KLAVUsbConnector &other);
    virtual ~KLAVUsbConnector();

    // Opening phase; 0 when the request frame was confirmed, else 1, 2, 3, 4
    // or 14. replyText receives the terminal's reply to the request in hex.
    // Before the terminal hears anything the database is refused with 2
    // when it is no regular file (a FIFO, a device, a folder), and with 1
    // when another program is writing it (a journal or a write-ahead log
    // beside it) or it fails its integrity check.
    int operate(QByteArray &replyText);
    // Creates the port and runs the initialisation exchange. True when every
    // byte received matched; answered tells whether anything came at all.
    bool initializeConnection(bool &answered);
    // Sends the request frame; true when its 7-byte confirmation came back.
    bool sendRequestFrame(QByteArray frame, QByteArray &replyText);
    // Sends the next block of the file: 0 accepted, 5 NACK with text, 6
    // incomplete NACK, 7 refused, 9 nothing left to send, 14 no reply, 2 the
    // file could not be read, ended before the size announced or was written
    // to since the load began (no frame is sent then, and after the last
    // block 2 comes instead of 9, so no ending frame confirms a file that
    // changed under the load).
    int sendDataFrame(QString &nackText);
    // Sends the ending frame; true when 05 00 00 came back.
    bool sendEndingFrame();
    // Closes the port; true when it closed cleanly or there was none.
    bool closeConnection();
    // Percentage of the file the terminal has accepted.
    int getProgress() const;

    // An acceptance (a data reply that begins with 05) is complete once the
    // line has been quiet this long after its last byte, instead of after
    // the port's 500 ms inter-byte time-out. A tail of the same reply comes
    // in the same USB packet (up to 64 bytes at full speed), or streams at
    // 0.17 ms a byte on a 57600-baud line, or is held at most 16 ms by a
    // USB-serial converter's latency timer: all well inside the gap. A tail
    // later than the gap is read with the next exchange, as one later than
    // 500 ms is. Other replies (a NACK and its text, a refusal) keep the
    // port's time-outs.
    static constexpr uint32_t kAcceptanceQuietGap = 20;

    // Time-out of the ending exchange: 20 s per MiB of database, never less
    // than the port's normal total time-out.
    static uint32_t endingTimeout(std::int64_t fileSize, uint32_t portTotalTimeout);

    void setPortFactory(PortFactory factory) { portFactory = std::move(factory); }
    // Where the console lines of the exchanges go; nullptr (the default) for
    // nowhere. A copy keeps the same report.
    void setReport(KLAVLoadReport *chosen) { report = chosen; }
    static std::unique_ptr<KLAVDevicePort> createPortFor(const KLAVDevice &device);

    // Opens the database file read-only for the transfer. False when it
    // cannot be opened or is too large to be described to the terminal
    // (2^31 bytes or more); both are refused before the terminal is reached.
    bool openDatabaseFile();

    // Why the load was refused, in words for the user ("The database is
    // being written by another program ..."); empty when nothing was
    // refused or the result code says it all.
    const QString &failureText() const { return failure; }

    // Size of the database file when it was opened, which the request frame
    // announces and the transfer sends; 0 while none is open.
    std::int64_t databaseFileSize() const;

    // Collects the R_DBINFO entries that the request frame carries, in the
    // order the rows are read, as two parallel lists.
    void selectEntries(QList<QByteArray> &numbers, QList<QByteArray> &texts);

    // The request frame for these entries and the open database file; empty
    // (and logged) when the file is not open or cannot be described.
    QByteArray stringToBytes(QList<QByteArray> numbers, QList<QByteArray> texts);

    // The 9-byte initialisation frame and the reply it expects.
    QByteArray initialisationFrame() const;
    QByteArray expectedInitialisationReply() const;
    // The 7-byte reply that confirms the request frame.
    QByteArray expectedRequestReply() const;

    int getPad() const { return pad; }
    std::uint8_t getPadRequestByte() const { return padRequestByte; }
    std::uint8_t getPadReplyByte() const { return padReplyByte; }

    // PAD x 16 + 15 and PAD - 16, each modulo 256.
    static std::uint8_t requestByteFor(int pad);
    static std::uint8_t replyByteFor(int pad);

private:
    int runOpeningPhase(QByteArray &replyText);
    void showLine(const char *text) const;
    // Logs text as an error, prints it on the console and keeps it for the window.
    void refuse(const std::string &text);
    // Stamp and header of the database file as they are now; false when
    // the file cannot be looked at.
    bool takeSnapshot(FileStamp &stamp, QByteArray &header);
    // Whether the file is still as it was when the load began.
    bool unchangedSinceStart(bool withHeader);
    // The database path, asked of the database access once.
    const QByteArray &databasePath();

    KLAVDevice device;
    KLAVDbManager dbManager;
    std::unique_ptr<KLAVDevicePort> port;
    std::unique_ptr<QFile> file;
    std::int64_t fileSize = 0;
    QByteArray dbPath;
    bool stamped = false;   // startStamp and startHeader are taken
    FileStamp startStamp;   // the database file when the load began
    QByteArray startHeader; // its first 100 bytes (SQLite's file header)
    QString failure;
    std::int64_t bytesRead = 0;
    std::int32_t bytesSent = 0;
    QByteArray dataFrame; // reused for every block
    std::uint8_t padRequestByte;
    std::uint8_t padReplyByte;
    std::int32_t pad;
    PortFactory portFactory = createPortFor;
    KLAVLoadReport *report = nullptr;
};
