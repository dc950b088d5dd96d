#include "WindowDriver.h"

#include "base/KLAVConfig.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest/QTest>

namespace WindowDriver {

QString configPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/config/KLAV_init.ini");
}

void resetConfig()
{
    QDir().mkpath(QCoreApplication::applicationDirPath() + QStringLiteral("/config"));
    createConfigFile(configPath().toStdString());
    g_config = ConfigStruct();
    g_recentPath.clear();
    config_from_file(g_config);
}

QString recentPathLine()
{
    QFile file(configPath());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray prefix("&RecentPath=");
    for (QByteArray line : file.readAll().split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.startsWith(prefix))
            return QString::fromUtf8(line.mid(prefix.size()));
    }
    return QString();
}

bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    return QTest::qWaitFor(done, timeoutMs);
}

bool driveFileDialog(const std::function<void()> &open,
                     const std::function<bool(QFileDialog *)> &drive)
{
    bool driven = false;
    QTimer poller;
    QObject::connect(&poller, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!driven && dialog && dialog->isVisible())
            driven = drive(dialog);
    });
    poller.start(20);
    bool gaveUp = false;
    QTimer backstop;
    backstop.setSingleShot(true);
    QObject::connect(&backstop, &QTimer::timeout, [&] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            gaveUp = true;
            modal->close();
        }
    });
    backstop.start(20000);
    open();
    return driven && !gaveUp;
}

} // namespace WindowDriver

ModalBoxCloser::ModalBoxCloser(std::function<void(QMessageBox *)> inspect)
    : inspect_(std::move(inspect))
{
    connect(&timer_, &QTimer::timeout, this, &ModalBoxCloser::poll);
    timer_.start(10);
}

void ModalBoxCloser::poll()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible() || box->buttons().isEmpty() || box == leftUp_)
        return;
    Box seen;
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.hasParent = box->parentWidget() != nullptr;
    seen.icon = box->icon();
    seen.windowIcon = box->windowIcon();
    seen.buttons = box->standardButtons();
    if (box->defaultButton())
        seen.defaultButton = box->standardButton(box->defaultButton());
    boxes_.push_back(seen);
    if (inspect_)
        inspect_(box);
    const QMessageBox::StandardButton answer = answer_ ? answer_(seen) : QMessageBox::Ok;
    if (answer == QMessageBox::NoButton) {
        leftUp_ = box;
        return;
    }
    QAbstractButton *choice = box->button(answer);
    (choice ? choice : box->buttons().first())->click();
}

bool ModalBoxCloser::waitForBoxes(size_t count, int timeoutMs) const
{
    return WindowDriver::waitUntil([&] { return boxes_.size() >= count; }, timeoutMs);
}
