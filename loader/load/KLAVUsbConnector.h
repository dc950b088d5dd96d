#pragma once
// Runs the loading protocol with one terminal over one device port, in the
// order the loading thread calls it:
//   operate          integrity check, database file, port, initialisation
//                    exchange, request frame with the R_DBINFO entries;
//   sendDataFrame    the file raw, in blocks of at most 30717 bytes, each
//                    acknowledged by the terminal (repeated);
//   sendEndingFrame  closes the transfer on the terminal's side;
//   closeConnection  closes the port.
// The frames and the replies that confirm them, with their wire format, are
// KLAVLoadFrames'; each exchange goes through KLAVPortExchange, which traces
// it in the log. Results are KLAVLoadResult codes.

#include "KLAVDbManager.h"
#include "load/KLAVLoadFrames.h"
#include "load/KLAVLoadReport.h"
#include "load/KLAVLoadResult.h"
#include "load/KLAVPortExchange.h"
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
    // Creates the port for a device record. The default makes a PC/SC port
    // for a PC/SC record and a serial port otherwise; another factory lets
    // the exchanges run against a scripted terminal.
    using PortFactory = std::function<std::unique_ptr<KLAVDevicePort>(const KLAVDevice &)>;

    KLAVUsbConnector(const KLAVDevice &device, const KLAVDbManager &dbManager, int pad);
    // A copy shares the database connection, the port factory and the report,
    // starts without an open file and keeps the PAD number.
    KLAVUsbConnector(const KLAVUsbConnector &other);
    KLAVUsbConnector &operator=(const KLAVUsbConnector &other);
    virtual ~KLAVUsbConnector();

    // Opening phase: LOAD_OK when the request frame was confirmed, else
    // LOAD_NOT_COHERENT, LOAD_FILE_NOT_OPENED, LOAD_INIT_FAILED,
    // LOAD_REQUEST_REFUSED or LOAD_NO_RESPONSE. replyText receives the
    // terminal's reply to the request in hex. Before the terminal hears
    // anything the database is refused with LOAD_FILE_NOT_OPENED when it is
    // no regular file (a FIFO, a device, a folder), cannot be opened, is too
    // large to be described (2^31 bytes or more) or changes while it is
    // checked, and with LOAD_NOT_COHERENT when another program is writing it
    // (a journal or a write-ahead log beside it) or it fails its integrity
    // check. LOAD_NO_RESPONSE: the initialisation had no reply, or the port
    // never opened (failureText says why).
    KLAVLoadResult operate(QByteArray &replyText);
    // Creates the port and runs the initialisation exchange. True when every
    // byte received matched; answered tells whether anything came at all.
    bool initializeConnection(bool &answered);
    // Sends the request frame; true when its 7-byte confirmation came back.
    bool sendRequestFrame(QByteArray frame, QByteArray &replyText);
    // Sends the next block of the file: LOAD_OK accepted, LOAD_NACK with
    // text, LOAD_NACK_INCOMPLETE, LOAD_BLOCK_REFUSED, LOAD_NO_RESPONSE, or
    // LOAD_END_OF_FILE when nothing is left to send. LOAD_FILE_NOT_OPENED:
    // the file could not be read, ended before the size announced or was
    // written to since the load began; no frame is sent then, and after the
    // last block it comes instead of LOAD_END_OF_FILE, so no ending frame
    // confirms a file that changed under the load.
    KLAVLoadResult sendDataFrame(QString &nackText);
    // Sends the ending frame; true when 05 00 00 came back.
    bool sendEndingFrame();
    // Closes the port; true when it closed cleanly or there was none.
    bool closeConnection();
    // Percentage of the file the terminal has accepted.
    int getProgress() const;

    // Collects the R_DBINFO entries that the request frame carries, in the
    // order the rows are read, as two parallel lists; how many fit depends
    // on the size of the open database file.
    void selectEntries(QList<QByteArray> &numbers, QList<QByteArray> &texts);
    // The request frame for these entries and the open database file; empty
    // (and logged) when the file is not open or cannot be described.
    QByteArray stringToBytes(QList<QByteArray> numbers, QList<QByteArray> texts);

    void setPortFactory(PortFactory factory) { portFactory = std::move(factory); }
    // Where the console lines of the exchanges go; nullptr (the default) for
    // nowhere.
    void setReport(KLAVLoadReport *chosen) { report = chosen; }

    // Why the load was refused, in words for the user ("The database is
    // being written by another program ..."); empty when nothing was
    // refused or the result code says it all.
    const QString &failureText() const { return failure; }

private:
    static std::unique_ptr<KLAVDevicePort> createPortFor(const KLAVDevice &device);
    KLAVLoadResult runOpeningPhase(QByteArray &replyText);
    // A read of at most capacity bytes within the port's time-outs.
    KLAVPortExchange::Read portRead(int capacity) const;
    // Opens the database file read-only for the transfer. False when it
    // cannot be opened or is too large to be described to the terminal.
    bool openDatabaseFile();
    // Size of the database file when it was opened, which the request frame
    // announces and the transfer sends; 0 while none is open.
    std::int64_t databaseFileSize() const;
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
    KLAVLoadFrames frames;
    PortFactory portFactory = createPortFor;
    KLAVLoadReport *report = nullptr;
};
