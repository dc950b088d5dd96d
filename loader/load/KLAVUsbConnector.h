#pragma once
// Speaks the loading protocol with one terminal. This part holds the
// connector's data (database access, PAD number and the PAD bytes of the
// framed exchanges, the database file) and the pieces of the opening phase
// that need no terminal: opening the database file, choosing the R_DBINFO
// entries, building the request frame and the fixed initialisation frames.
//
// The device record joins the constructor (as its first argument) together
// with the port and the exchanges themselves.

#include "KLAVDbManager.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <cstdint>
#include <memory>

class KLAVUsbConnector {
public:
    KLAVUsbConnector(const KLAVDbManager &dbManager, int pad);
    // A copy shares the database connection, starts without an open file and
    // recomputes the PAD bytes from the PAD number.
    KLAVUsbConnector(const KLAVUsbConnector &other);
    KLAVUsbConnector &operator=(const KLAVUsbConnector &other);
    virtual ~KLAVUsbConnector();

    // Opens the database file read-only for the transfer. False when it
    // cannot be opened or is too large to be described to the terminal
    // (2^31 bytes or more); both are refused before the terminal is reached.
    bool openDatabaseFile();

    // Size of the open database file; 0 while none is open.
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
    KLAVDbManager dbManager;
    std::unique_ptr<QFile> file;
    std::uint8_t padRequestByte;
    std::uint8_t padReplyByte;
    std::int32_t pad;
};
