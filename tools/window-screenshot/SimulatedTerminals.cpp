#include "SimulatedTerminals.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

bool writeText(const QString &path, const QByteArray &text)
{
    QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

} // namespace

SimulatedTerminals::SimulatedTerminals() = default;

SimulatedTerminals::~SimulatedTerminals()
{
    for (auto &terminal : terminals_) {
        terminal->terminate();
        if (!terminal->waitForFinished(5000))
            terminal->kill();
        terminal->waitForFinished(5000);
    }
}

bool SimulatedTerminals::add(const QString &product, int vendor, int productId)
{
    auto terminal = std::make_unique<QProcess>();
    terminal->start(QCoreApplication::applicationDirPath() + QStringLiteral("/terminal-sim"),
                    QStringList());
    QByteArray line;
    while (!line.contains('\n') && terminal->waitForReadyRead(10000))
        line += terminal->readAllStandardOutput();
    const QByteArray pty = line.left(line.indexOf('\n')).trimmed();
    if (!pty.startsWith("/dev/")) {
        std::fprintf(stderr, "window-screenshot: terminal-sim did not start\n");
        return false;
    }
    const int n = int(terminals_.size());
    terminals_.push_back(std::move(terminal));

    // The kernel's layout: class/tty/<port> -> .../<usb device>/<interface>/tty/<port>.
    const QString port = QStringLiteral("ttyACM%1").arg(n);
    const QString bus = QStringLiteral("1-%1").arg(n + 1);
    const QString device =
        sysfsRoot() + QStringLiteral("/devices/pci0000:00/0000:00:14.0/usb1/") + bus;
    const QString tty = device + QLatin1Char('/') + bus + QStringLiteral(":1.0/tty/") + port;
    bool ok = writeText(device + QStringLiteral("/idVendor"),
                        QByteArray::number(vendor, 16).rightJustified(4, '0') + '\n') &&
              writeText(device + QStringLiteral("/idProduct"),
                        QByteArray::number(productId, 16).rightJustified(4, '0') + '\n') &&
              writeText(device + QStringLiteral("/serial"), "SIM" + QByteArray::number(n) + '\n') &&
              writeText(device + QStringLiteral("/product"), product.toUtf8() + '\n') &&
              writeText(tty + QStringLiteral("/uevent"), "MAJOR=166\nDEVNAME=" + pty.mid(5) + '\n');
    QDir().mkpath(sysfsRoot() + QStringLiteral("/class/tty"));
    ok = ok && QFile::link(QDir(sysfsRoot() + QStringLiteral("/class/tty")).relativeFilePath(tty),
                           sysfsRoot() + QStringLiteral("/class/tty/") + port);
    if (!ok)
        std::fprintf(stderr, "window-screenshot: cannot build the device tree in %s\n",
                     qPrintable(folder_.path()));
    return ok;
}
