#include "KLAVUsbConnector.h"

#include "KLAVCrc.h"
#include "KLAVRequestFrame.h"
#include "app/KLAVLog.h"

#include <QString>

namespace {

// Bytes 1 to 6 of the initialisation frame and its reply: bytes 3 and 4
// (least significant first) are 30720, the largest data frame.
constexpr char kInitialisationBody[] = "\xC0\x04\x00\x78\x01\x2C";
constexpr char kInitialisationReplyBody[] = "\xE0\x04\x00\x78\x01\x2C";
constexpr char kRequestReplyBody[] = "\x40\x02\x00\x00";

QByteArray framed(std::uint8_t first, const char *body, int bodySize)
{
    QByteArray frame;
    frame.append(char(first));
    frame.append(body, bodySize);
    KLAVCrc::appendCrc(frame);
    return frame;
}

} // namespace

KLAVUsbConnector::KLAVUsbConnector(const KLAVDbManager &dbManager, int pad)
    : dbManager(dbManager), padRequestByte(requestByteFor(pad)), padReplyByte(replyByteFor(pad)),
      pad(pad)
{
    writeLog(LOG_ENTER, "KLAVUsbConnector::KLAVUsbConnector");
    writeLog(LOG_EXIT, "KLAVUsbConnector::KLAVUsbConnector");
}

KLAVUsbConnector::KLAVUsbConnector(const KLAVUsbConnector &other)
    : KLAVUsbConnector(other.dbManager, other.pad)
{
}

KLAVUsbConnector &KLAVUsbConnector::operator=(const KLAVUsbConnector &other)
{
    if (this != &other) {
        dbManager = other.dbManager;
        file.reset();
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
    auto opened = std::make_unique<QFile>(QString::fromUtf8(dbManager.getDbFile()));
    bool ok = opened->open(QIODevice::ReadOnly);
    if (ok && !KLAVRequestFrame::fileSizeFits(opened->size())) {
        writeLog(LOG_ERROR,
                 "Database file of %lld bytes is too large to be loaded (limit %lld bytes)",
                 static_cast<long long>(opened->size()),
                 static_cast<long long>(KLAVRequestFrame::kLargestFileSize));
        ok = false;
    }
    file = ok ? std::move(opened) : nullptr;
    writeLog(LOG_EXIT, "KLAVUsbConnector::openDatabaseFile");
    return ok;
}

std::int64_t KLAVUsbConnector::databaseFileSize() const
{
    return file ? file->size() : 0;
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
    } else if (auto encoded =
                   KLAVRequestFrame::encode(padRequestByte, file->size(), numbers, texts)) {
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
