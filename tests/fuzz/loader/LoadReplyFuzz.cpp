// Terminal replies into a whole load: the connector and the loading thread
// over the in-process scripted port, with a small database of two blocks.
// The input is the terminal's side, cut into replies (a length byte, then
// that many bytes) answering the initialisation, the request, the data
// blocks and the ending in turn; silence once they run out. Whatever the
// terminal says, the load ends with a documented result, closes every port
// it opened, and reports success only after the ending was confirmed.

#include "LoadReplies.h"
#include "ScriptedPort.h"
#include "TestDatabase.h"

#include "app/KLAVCommandLine.h"
#include "load/KLAVDbManager.h"
#include "load/KLAVLoadResult.h"
#include "load/KLAVThread.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

constexpr int kPad = 2;

void require(bool condition)
{
    if (!condition)
        std::abort();
}

struct Fixture {
    QTemporaryDir dir;
    QString path = dir.filePath("load.db");
    QByteArray contents;
};

Fixture &fixture()
{
    static Fixture *made = [] {
        auto *f = new Fixture;
        require(TestDatabase::createOfSize(f->path, kFuzzDatabaseSize));
        f->contents = TestDatabase::contents(f->path);
        return f;
    }();
    return *made;
}

bool documented(int result)
{
    return (result >= LOAD_OK && result <= LOAD_ENDING_FAILED) || result == LOAD_CANCELLED ||
           result == LOAD_NO_RESPONSE;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv); // the SQLite driver is a plugin
    g_consoleMode = false;
    fixture();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fixture &f = fixture();
    const QList<QByteArray> replies = splitReplies(data, size);
    ScriptedTerminal terminal;
    terminal.reply = [&replies](const QByteArray &, int index) {
        return index < replies.size() ? replies[index] : QByteArray();
    };
    // A load closes its database connection at the end: a manager per run.
    KLAVUsbConnector connector(KLAVDevice(), KLAVDbManager(QFile::encodeName(f.path)), kPad);
    connector.setPortFactory(terminal.factory());
    int result;
    {
        KLAVThread thread(connector);
        result = thread.operate();
    }
    require(documented(result));
    require(terminal.closes >= terminal.portsCreated);
    if (result == LOAD_OK) {
        require(!terminal.exchanges.isEmpty() &&
                terminal.exchanges.last().command == QByteArray("\x02\x00\x00", 3));
        QByteArray sent;
        for (const ScriptedExchange &e : terminal.exchanges)
            if (e.command.startsWith('\x01'))
                sent += e.command.mid(3);
        require(sent == f.contents);
    }
    return 0;
}
