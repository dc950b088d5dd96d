#include "KLAVInterface.h"

#include "base/KLAVConfig.h"
#include "base/KLAVLog.h"
#include "load/KLAVDbManager.h"
#include "load/KLAVLoadResult.h"
#include "load/KLAVThread.h"
#include "load/KLAVUsbConnector.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTimer>

#include <optional>
#include <utility>

namespace {

const char *const kLogoPicture = "/icons/logo_velantra_qx_n-ov_turquoise_blue_sans_fond.png";
const char *const kWindowIcon = "/icons/VelantraQX.ico";
const char *const kBrowseIcon = "/icons/fileBrowser.png";
const char *const kLoadIcon = "/icons/quillBox.png";

// Help text entries that indent the lines after them instead of drawing.
bool isTabEntry(const std::string &entry)
{
    return entry == "[TAB]" || entry == "[TAB]\r";
}

QString fromConfig(const std::string &text)
{
    return QString::fromUtf8(text.data(), int(text.size()));
}

QString resourcePath(const char *relative)
{
    return QCoreApplication::applicationDirPath() + QLatin1String(relative);
}

QString openWithQtDialog(const QString &caption, const QString &startPath, const QString &filter)
{
    return QFileDialog::getOpenFileName(nullptr, caption, startPath, filter);
}

// Gap between a painted label and the widget it names.
constexpr int kLabelGap = 8;

// The terminals the configuration supports.
KLAVDeviceManager::SupportedIds supportedIds()
{
    return {g_config.VID, g_config.PID};
}

} // namespace

KLAVInterface::KLAVInterface(QWidget *parent)
    : QMainWindow(parent), deviceManager(supportedIds()), fileChooser(openWithQtDialog)
{
    buildWindow();
}

KLAVInterface::KLAVInterface(UsbTtyEnumerator enumerator, QWidget *parent)
    : QMainWindow(parent), deviceManager(std::move(enumerator), supportedIds()),
      fileChooser(openWithQtDialog)
{
    buildWindow();
}

void KLAVInterface::buildWindow()
{
    KLAVLogScope scope("KLAVInterface::KLAVInterface");
    setWindowTitle(QCoreApplication::translate("QObject", g_config.ApplicationName.c_str()));
    setFixedSize(kWidth, kHeight);
    addComponents();

    writeLog(LOG_INFO,
             "Found connected (and supported) devices"); // by deviceManager's construction
    fillDeviceCombo();
    devicesSeen = deviceManager.presence();
    writeLog(LOG_INFO, "Device list has been shown");

    // Cancel has nothing to stop until a load runs.
    cancelButton->setEnabled(false);
    updateLoadButton();

    // The list follows the cable: told by the platform where it tells, else
    // looked for every second; never during a load.
    deviceWatch = new QTimer(this);
    deviceWatch->setInterval(kDeviceWatchMs);
    connect(deviceWatch, &QTimer::timeout, this, [this] {
        followDevices();
        if (platformNotifies && --noticeTicksLeft <= 0)
            deviceWatch->stop();
    });
    platformNotifies = deviceNotifier.start(this, [this] { deviceNoticeArrived(); });
    if (!platformNotifies)
        deviceWatch->start();
}

KLAVInterface::~KLAVInterface()
{
    {
        KLAVLogScope scope("KLAVInterface::~KLAVInterface");
        if (deviceWatch)
            deviceWatch->stop();
        // A window closed by its frame during a load: the load stops after its
        // current block and the thread is waited for, never destroyed running.
        if (loadThread && loadThread->isRunning())
            loadThread->loadCancel();
        loadThread.reset();
        delete deviceCombo;
        delete dbPathEdit;
        delete browseButton;
        delete loadButton;
        delete renewButton;
        delete closeButton;
        delete cancelButton;
        delete progressBar;
        delete logoLabel;
        delete padSpinBox;
        writeLog(LOG_INFO, "Logging has been finished");
    }
    // The exit line above is the log's last: it closes with the window.
    closeLogFile();
}

void KLAVInterface::addComponents()
{
    KLAVLogScope scope("KLAVInterface::addComponents");
    const int W = kWidth;
    const int H = kHeight;
    setWindowIcon(QIcon(resourcePath(kWindowIcon)));

    logoLabel = new QLabel(this);
    logoLabel->setObjectName(QStringLiteral("logoLabel"));
    const QPixmap logo(resourcePath(kLogoPicture));
    logoLabel->setPixmap(logo);
    logoLabel->setMinimumSize(logo.size());
    logoLabel->move(W - logo.width() - 2, 10);

    dbPathEdit = new QLineEdit(g_recentPath, this);
    dbPathEdit->setObjectName(QStringLiteral("dbPathEdit"));
    dbPathEdit->setMinimumSize(W / 2, H / 20);
    dbPathEdit->move(W / 4 + 20, 2 * H / 5 + 40);
    writeLog(LOG_INFO, "File browser has been added");

    deviceCombo = new QComboBox(this);
    deviceCombo->setObjectName(QStringLiteral("deviceCombo"));
    deviceCombo->setMinimumSize(dbPathEdit->size());
    deviceCombo->move(dbPathEdit->x(), dbPathEdit->y() + H / 10);
    writeLog(LOG_INFO, "QComboBox for devices has been added");

    browseButton = new QPushButton(fromConfig(g_config.Browse), this);
    browseButton->setObjectName(QStringLiteral("browseButton"));
    browseButton->setIcon(QIcon(resourcePath(kBrowseIcon)));
    browseButton->setIconSize(QSize(browseButton->width() / 3, int(browseButton->height() * 0.7)));
    browseButton->setMinimumSize(W / 7, deviceCombo->height());
    browseButton->move(dbPathEdit->x() + dbPathEdit->width() + 10, dbPathEdit->y());
    connect(browseButton, &QPushButton::clicked, this, &KLAVInterface::slot_selectDb);
    writeLog(LOG_INFO, "File selection button has been added");

    renewButton = new QPushButton(fromConfig(g_config.Renew_devices), this);
    renewButton->setObjectName(QStringLiteral("renewButton"));
    renewButton->setMinimumSize(W / 10, browseButton->height());
    renewButton->move(deviceCombo->x() + deviceCombo->width() + 10,
                      deviceCombo->y() + deviceCombo->height() - renewButton->height());
    connect(renewButton, &QPushButton::clicked, this, &KLAVInterface::slot_loadDevices);
    writeLog(LOG_INFO, "Device list re-enumeration button has been added");

    progressBar = new QProgressBar(this);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setValue(0);
    progressBar->setAlignment(Qt::AlignCenter);
    progressBar->setMinimumSize(deviceCombo->size());
    progressBar->move(deviceCombo->x(), deviceCombo->y() + H / 20 + 17);
    writeLog(LOG_INFO, "Progressbar has been added");

    cancelButton = new QPushButton(fromConfig(g_config.Cancel), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    cancelButton->setMinimumSize(browseButton->size());
    cancelButton->move(progressBar->x() + progressBar->width() + 10, progressBar->y());
    writeLog(LOG_INFO, "Button for loading cancelling has been added");

    loadButton = new QPushButton(fromConfig(g_config.Button_load), this);
    loadButton->setObjectName(QStringLiteral("loadButton"));
    loadButton->setIcon(QIcon(resourcePath(kLoadIcon)));
    loadButton->setMinimumSize(browseButton->size());
    loadButton->move(deviceCombo->x(), progressBar->y() + loadButton->height() + 30);
    connect(loadButton, &QPushButton::clicked, this, &KLAVInterface::slot_load);
    writeLog(LOG_INFO, "Database loading button has been added");

    closeButton = new QPushButton(fromConfig(g_config.Close_application), this);
    closeButton->setObjectName(QStringLiteral("closeButton"));
    closeButton->setMaximumSize(renewButton->size());
    closeButton->move(loadButton->x() + loadButton->width() + 10, loadButton->y());
    connect(closeButton, &QPushButton::clicked, this, &KLAVInterface::slot_close);
    writeLog(LOG_INFO, "Close button has been added");

    // The help text asks the user to choose a PAD number: a small selector at
    // the right end of the Load row, its label painted before it.
    padSpinBox = new QSpinBox(this);
    padSpinBox->setObjectName(QStringLiteral("padSpinBox"));
    padSpinBox->setRange(kPadMin, kPadMax);
    padSpinBox->setValue(kPadDefault);
    padSpinBox->setFixedSize(W / 10, loadButton->height());
    padSpinBox->move(cancelButton->x() + cancelButton->width() - padSpinBox->width(),
                     loadButton->y());
    writeLog(LOG_INFO, "PAD number selector has been added");

    setKeyboardOrder();
    // The full path, whose start the field may not show; a typed path is
    // as good as a picked one.
    dbPathEdit->setToolTip(dbPathEdit->text());
    connect(dbPathEdit, &QLineEdit::textChanged, dbPathEdit, &QLineEdit::setToolTip);
    connect(dbPathEdit, &QLineEdit::textChanged, this, [this] { updateLoadButton(); });
    // The full entry of the chosen terminal, whose end (its serial number)
    // the list may not show.
    connect(deviceCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this](int index) {
                deviceCombo->setToolTip(deviceCombo->itemData(index, Qt::ToolTipRole).toString());
            });
    // Asks before it stops anything.
    connect(cancelButton, &QPushButton::clicked, this, &KLAVInterface::askToStopLoad);

    // Keys of their own, so that no configured text (with or without an "&")
    // changes them; each acts only when its button could be clicked.
    struct Key {
        QKeySequence keys;
        QPushButton *button;
        std::function<void()> act;
    };
    const Key keys[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_O), browseButton, [this] { slot_selectDb(); }},
        {QKeySequence(Qt::Key_F5), renewButton, [this] { slot_loadDevices(); }},
        {QKeySequence(Qt::Key_Escape), cancelButton, [this] { askToStopLoad(); }},
    };
    for (const Key &key : keys) {
        auto *shortcut = new QShortcut(key.keys, this);
        QPushButton *button = key.button;
        const std::function<void()> act = key.act;
        connect(shortcut, &QShortcut::activated, this, [button, act] {
            if (button->isEnabled())
                act();
        });
        button->setToolTip(key.keys.toString(QKeySequence::NativeText));
    }
}

void KLAVInterface::setKeyboardOrder()
{
    // Rows from top to bottom, left to right.
    const QList<QWidget *> order{dbPathEdit,   browseButton, deviceCombo, renewButton,
                                 cancelButton, loadButton,   closeButton, padSpinBox};
    for (int i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order[i], order[i + 1]);
    // Outside a dialog a push button ignores Return unless it is auto-default.
    for (QPushButton *button : {browseButton, renewButton, cancelButton, loadButton, closeButton})
        button->setAutoDefault(true);
}

QString KLAVInterface::deviceEntryText(const KLAVDevice &device)
{
    const QString name = QString::fromStdString(device.getName());
    if (device.isPCSC())
        return name;
    return name + QStringLiteral(" - PORT: ") + QString::fromStdString(device.getPortCOM());
}

bool KLAVInterface::sameTerminal(const KLAVDevice &a, const KLAVDevice &b)
{
    return a.isPCSC() == b.isPCSC() && a.getDevicePath() == b.getDevicePath() &&
           a.getPortCOM() == b.getPortCOM() && a.getLpFileName() == b.getLpFileName() &&
           a.getName() == b.getName();
}

void KLAVInterface::fillDeviceCombo()
{
    deviceCombo->clear();
    const std::vector<KLAVDevice> devices = deviceManager.getDeviceList();
    for (const KLAVDevice &device : devices)
        deviceCombo->addItem(deviceEntryText(device));
    for (int i = 0; i < deviceCombo->count(); ++i)
        deviceCombo->setItemData(i, deviceCombo->itemText(i), Qt::ToolTipRole);
    if (devices.empty()) {
        // Said in the list itself, whole in its tooltip; no record stands
        // behind this entry, so no load can start from it. The list follows
        // the cable: connecting one is all it takes.
        const QString hint = tr("No terminal: connect one");
        deviceCombo->addItem(fittedHint(hint));
        deviceCombo->setItemData(0, hint, Qt::ToolTipRole);
    }
    deviceCombo->setToolTip(
        deviceCombo->itemData(deviceCombo->currentIndex(), Qt::ToolTipRole).toString());
    fitDevicePopup();
}

QString KLAVInterface::fittedHint(const QString &hint) const
{
    // The room the closed list gives its text: its field less the arrow,
    // and the pixel each side the label is drawn inside.
    QStyleOptionComboBox option;
    option.initFrom(deviceCombo);
    option.editable = deviceCombo->isEditable();
    option.frame = deviceCombo->hasFrame();
    option.subControls = QStyle::SC_All;
    const QRect field = deviceCombo->style()->subControlRect(
        QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, deviceCombo);
    return deviceCombo->fontMetrics().elidedText(hint, Qt::ElideRight, field.width() - 2);
}

void KLAVInterface::fitDevicePopup()
{
    // The open list is as wide as its longest entry, even wider than the box
    // (some styles make it only as wide as the box).
    QAbstractItemView *view = deviceCombo->view();
    const QFontMetrics metrics(view->font());
    int widest = 0;
    for (int i = 0; i < deviceCombo->count(); ++i)
        widest = qMax(widest, metrics.horizontalAdvance(deviceCombo->itemText(i)));
    // The frame, and the entry's own margins either side.
    int width = widest + 2 * view->frameWidth() +
                2 * view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) +
                2 * metrics.averageCharWidth();
    if (deviceCombo->count() > deviceCombo->maxVisibleItems())
        width += view->verticalScrollBar()->sizeHint().width();
    view->setMinimumWidth(width);
}

void KLAVInterface::updateLoadButton()
{
    if (loading)
        return;
    const int index = deviceCombo->currentIndex();
    const size_t listed = deviceManager.getDeviceList().size();
    loadButton->setEnabled(index >= 0 && size_t(index) < listed &&
                           !dbPathEdit->text().trimmed().isEmpty());
}

void KLAVInterface::setLoadingState(bool loadStarts)
{
    loading = loadStarts;
    stopAsked = false;
    // The keyboard rests on the bar, where Return and Space do nothing; it
    // moves there before the focused control is disabled, or Qt would pass
    // it on to the next enabled button.
    if (loadStarts) {
        deviceWatch->stop();
        cancelButton->setEnabled(true);
        progressBar->setFocus(Qt::OtherFocusReason);
    }
    renewButton->setEnabled(!loadStarts);
    browseButton->setEnabled(!loadStarts);
    deviceCombo->setEnabled(!loadStarts);
    dbPathEdit->setEnabled(!loadStarts);
    padSpinBox->setEnabled(!loadStarts);
    if (loadStarts) {
        loadButton->setEnabled(false);
    } else {
        loadButton->setEnabled(true);
        loadButton->setFocus(Qt::OtherFocusReason);
        cancelButton->setEnabled(false);
        // Whatever was plugged in or out during the load shows now.
        followDevices();
        updateLoadButton();
        if (!platformNotifies || noticeTicksLeft > 0)
            deviceWatch->start();
    }
}

KLAVInterface::HelpLayout KLAVInterface::layoutHelpText(const std::vector<std::string> &entries)
{
    HelpLayout lines;
    int x = 10;
    int y = 70;
    for (const std::string &entry : entries) {
        if (isTabEntry(entry)) {
            x += 30;
            continue;
        }
        lines.push_back({fromConfig(entry), QPoint(x, y)});
        y += 30;
    }
    return lines;
}

QVector<KLAVInterface::PaintedText> KLAVInterface::paintedTexts() const
{
    const QFont title(QStringLiteral("Arial"), 12, QFont::Bold);
    const QFont label(QStringLiteral("Arial"), 10);
    const QColor black(Qt::black);
    auto besideWidget = [](const QWidget *widget) {
        return widget->y() + widget->height() / 2 + 5;
    };

    QVector<PaintedText> texts;
    texts.append({fromConfig(g_config.ApplicationName), title, black, QPoint(10, 30)});
    texts.append(
        {fromConfig(g_config.Device_list), label, black, QPoint(10, besideWidget(deviceCombo))});
    texts.append(
        {fromConfig(g_config.Database_file), label, black, QPoint(10, besideWidget(browseButton))});
    texts.append({fromConfig(g_config.Loading_progress), label, black,
                  QPoint(10, besideWidget(progressBar))});
    for (const HelpLine &line : layoutHelpText(g_config.ExplicativeText))
        texts.append({line.text, label, black, line.at});

    // The PAD label ends just before its selector; a text too long for the
    // room after the Close button is shortened with an ellipsis.
    const QFontMetrics metrics(label);
    const int right = padSpinBox->x() - kLabelGap;
    const int room = right - (closeButton->x() + closeButton->width() + 10);
    const QString padText =
        metrics.elidedText(fromConfig(g_config.PAD_number), Qt::ElideRight, room);
    texts.append({padText, label, black,
                  QPoint(right - metrics.horizontalAdvance(padText), besideWidget(padSpinBox))});

    texts.append(
        {fromConfig(g_config.copyright), label, QColor(Qt::darkGray), QPoint(10, kHeight - 15)});
    return texts;
}

void KLAVInterface::paintEvent(QPaintEvent *event)
{
    QMainWindow::paintEvent(event);
    QPainter painter(this);
    // Wide dash-dot pens as the window always used; for text only the colour counts.
    const QPen blackPen(QBrush(Qt::black, Qt::SolidPattern), 10, Qt::DashDotLine, Qt::RoundCap,
                        Qt::RoundJoin);
    const QPen greyPen(QBrush(Qt::darkGray, Qt::SolidPattern), 10, Qt::DashDotLine, Qt::RoundCap,
                       Qt::RoundJoin);
    for (const PaintedText &text : paintedTexts()) {
        painter.setPen(text.color == QColor(Qt::darkGray) ? greyPen : blackPen);
        painter.setFont(text.font);
        painter.drawText(text.at, text.text);
    }
}

void KLAVInterface::slot_selectDb()
{
    KLAVLogScope scope("KLAVInterface::slot_selectDb");
    if (dialogPath.isEmpty())
        dialogPath =
            g_config.RecentPath.empty() ? QDir::currentPath() : fromConfig(g_config.RecentPath);

    const QString chosen =
        fileChooser(tr("Select a database"), dialogPath, tr("Database Files (*.db)"));
    if (!chosen.isEmpty()) {
        dbPathEdit->setText(chosen);
        dialogPath = chosen;
        if (!writeConfig(chosen.toUtf8().toStdString()))
            tellSettingsNotSaved();
    }
    updateLoadButton();
}

void KLAVInterface::tellSettingsNotSaved(bool runningOnDefaults)
{
    if (settingsNotSavedTold)
        return;
    settingsNotSavedTold = true;
    const QString folder = QDir::toNativeSeparators(QCoreApplication::applicationDirPath() +
                                                    QStringLiteral("/config"));
    writeLog(LOG_ERROR, "Settings cannot be saved in %s", folder.toUtf8().constData());
    const QString consequence =
        runningOnDefaults
            ? tr("The program runs on its default settings, and the database you choose will "
                 "not be proposed at the next start.")
            : tr("The database you chose will not be proposed at the next start.");
    QMessageBox box(
        QMessageBox::Warning, tr("KLAV message"),
        tr("The settings cannot be saved in %1: that folder cannot be written.").arg(folder) +
            QLatin1Char(' ') + consequence,
        QMessageBox::Ok, this);
    box.setWindowIcon(windowIcon());
    box.exec();
}

void KLAVInterface::slot_loadDevices()
{
    KLAVLogScope scope("KLAVInterface::slot_loadDevices");
    rediscover();
    writeLog(LOG_INFO, "Devices have been re-enumerated");
    writeLog(LOG_INFO, "Devices pushed into combo");
    updateLoadButton();
}

void KLAVInterface::rediscover()
{
    // The terminal chosen before stays chosen while it is still connected.
    const std::vector<KLAVDevice> before = deviceManager.getDeviceList();
    const int chosen = deviceCombo->currentIndex();
    devicesSeen = deviceManager.presence();
    deviceManager.discover();
    fillDeviceCombo();
    if (chosen >= 0 && size_t(chosen) < before.size())
        selectTerminal(before[size_t(chosen)]);
}

void KLAVInterface::followDevices()
{
    // Never during a load (its port is open), nor under the user's hand in
    // the open list: the next look will do.
    if (loading || deviceCombo->view()->isVisible())
        return;
    if (deviceManager.presence() == devicesSeen)
        return;
    writeLog(LOG_INFO, "Terminals plugged in or out, devices re-enumerated");
    rediscover();
    updateLoadButton();
}

void KLAVInterface::deviceNoticeArrived()
{
    noticeTicksLeft = kDeviceNoticeWatchMs / kDeviceWatchMs;
    if (loading)
        return; // looked at when the load has ended
    followDevices();
    deviceWatch->start();
}

void KLAVInterface::selectTerminal(const KLAVDevice &device)
{
    const std::vector<KLAVDevice> listed = deviceManager.getDeviceList();
    for (size_t i = 0; i < listed.size(); ++i) {
        if (sameTerminal(listed[i], device)) {
            deviceCombo->setCurrentIndex(int(i));
            return;
        }
    }
}

void KLAVInterface::releaseFinishedThread()
{
    // The previous load has reported its result; its thread may still be
    // closing the port, which the next load is about to open.
    loadThread.reset();
}

void KLAVInterface::slot_load()
{
    // The terminal records of this call (the list, the chosen terminal and
    // the connector's) go after the exit line, which the lines of their
    // destructors follow.
    std::vector<KLAVDevice> devices;
    std::optional<KLAVDevice> device;
    std::optional<KLAVUsbConnector> connector;
    KLAVLogScope scope("KLAVInterface::slot_load");
    devices = deviceManager.getDeviceList();
    writeLog(LOG_INFO, "List of devices has been obtained");
    const int index = deviceCombo->currentIndex();
    if (devices.empty() || index < 0 || size_t(index) >= devices.size()) {
        writeLog(LOG_ERROR, "No device selected");
        return;
    }
    device.emplace(devices[size_t(index)]);
    writeLog(LOG_INFO, "Currently selected device has been obtained");

    const QString path = dbPathEdit->text();
    QFile database(path);
    // An empty path is not handed to QFile, which would warn on standard error.
    if (path.isEmpty() || !database.open(QIODevice::ReadOnly)) {
        QMessageBox box(QMessageBox::Warning, tr("KLAV Message"),
                        tr("Database file does not exist"));
        box.setWindowIcon(windowIcon());
        box.exec();
        return;
    }
    database.close();

    releaseFinishedThread();
    const KLAVDbManager dbManager(QFile::encodeName(path));
    writeLog(LOG_INFO, "Database manager has been created");
    connector.emplace(*device, dbManager, padSpinBox->value());
    writeLog(LOG_INFO, "Communicator has been created");

    setLoadingState(true);

    loadThread = std::make_unique<KLAVThread>(*connector);
    connect(loadThread.get(), &KLAVThread::threadFeedback, this, &KLAVInterface::slot_showMessage);
    connect(loadThread.get(), &KLAVThread::threadFeedback_NACK, this,
            &KLAVInterface::slot_showNACK);
    connect(loadThread.get(), &KLAVThread::threadProgress, this, &KLAVInterface::slot_showProgress);
    loadThread->start(QThread::InheritPriority);
    writeLog(LOG_INFO, "Loading thread has been started");
}

void KLAVInterface::slot_showProgress(int loadingProgress)
{
    KLAVLogScope scope("KLAVInterface::slot_showProgress");
    // 100 is shown only once the terminal has confirmed the whole load.
    progressBar->setValue(loadingProgress >= 100 ? 99 : loadingProgress);
}

QString KLAVInterface::resultText(int messageCode)
{
    switch (messageCode) {
    case LOAD_OK:
        return tr("Loading succeeded");
    case LOAD_NOT_COHERENT:
        return tr("The database is not coherent");
    case LOAD_FILE_NOT_OPENED:
        return tr("The database could not be opened");
    case LOAD_INIT_FAILED:
        return tr("Initialisation protocol failed");
    case LOAD_NACK_INCOMPLETE:
        return tr("An incomplete NACK was received");
    case LOAD_BLOCK_REFUSED:
        return tr("A data block was refused");
    case LOAD_ENDING_FAILED:
        return tr("Failed to send ending frame");
    case LOAD_CANCELLED:
        return tr("Loading was cancelled");
    case LOAD_NO_RESPONSE:
        return tr("No response from the terminal");
    default:
        return QString();
    }
}

void KLAVInterface::showResultBox(const QString &text, QMessageBox::Icon icon)
{
    // A question about the load that has just ended has no object any more.
    if (openQuestion) {
        questionOutrun = true;
        openQuestion->done(QMessageBox::No);
    }
    QMessageBox box(this);
    box.setWindowTitle(tr("KLAV message"));
    // Plain text: a terminal's NACK text is shown as it is, never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setIcon(icon);
    box.setWindowIcon(windowIcon());
    box.exec();
    progressBar->setValue(0);
    setLoadingState(false);
}

void KLAVInterface::slot_showMessage(int messageCode)
{
    KLAVLogScope scope("KLAVInterface::slot_showMessage");
    if (messageCode == LOAD_OK)
        progressBar->setValue(100);
    showResultBox(resultText(messageCode),
                  messageCode == LOAD_OK ? QMessageBox::Information : QMessageBox::Warning);
}

void KLAVInterface::slot_showNACK(QString NACKMessage)
{
    KLAVLogScope scope("KLAVInterface::slot_showNACK");
    showResultBox(NACKMessage, QMessageBox::Warning);
}

void KLAVInterface::slot_close()
{
    KLAVLogScope scope("KLAVInterface::slot_close");
    if (!agreeToClose())
        return;
    closeAgreed = true;
    // The log closes before the window does: no line follows, the exit
    // line included.
    closeLogFile();
    close();
}

void KLAVInterface::closeEvent(QCloseEvent *event)
{
    KLAVLogScope scope("KLAVInterface::closeEvent");
    const bool agreed = closeAgreed || agreeToClose();
    closeAgreed = false;
    if (agreed)
        event->accept();
    else
        event->ignore();
}

bool KLAVInterface::loadRunning() const
{
    // Until its result has been shown: a result still on its way would be
    // lost by a window that goes without asking.
    return loading;
}

bool KLAVInterface::askDuringLoad(const QString &question)
{
    // No is what a stray key press answers.
    QMessageBox box(QMessageBox::Question, tr("KLAV message"), question,
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    box.setWindowIcon(windowIcon());
    openQuestion = &box;
    questionOutrun = false;
    const int answer = box.exec();
    openQuestion = nullptr;
    if (questionOutrun) {
        writeLog(LOG_INFO, "The load ended while the question was up");
        return false;
    }
    return answer == QMessageBox::Yes && loading;
}

void KLAVInterface::askToStopLoad()
{
    KLAVLogScope scope("KLAVInterface::askToStopLoad");
    // A stopped load cannot be resumed: asked first.
    if (loading && !stopAsked && !openQuestion && askDuringLoad(tr("Stop the load?"))) {
        writeLog(LOG_INFO, "The user stops the load");
        stopAsked = true;
        // Nothing more to cancel; the keyboard stays where nothing stops.
        progressBar->setFocus(Qt::OtherFocusReason);
        cancelButton->setEnabled(false);
        if (loadThread)
            loadThread->loadCancel();
    }
}

bool KLAVInterface::agreeToClose()
{
    if (!loadRunning())
        return true;
    if (openQuestion)
        return false; // the question about the load comes first
    // Quitting would leave the terminal with part of a database: asked first.
    if (!askDuringLoad(tr("A load is in progress. Stop it and quit?"))) {
        if (loading)
            writeLog(LOG_INFO, "Closing refused, the load goes on");
        return false;
    }
    stopLoadBeforeClosing();
    return true;
}

void KLAVInterface::stopLoadBeforeClosing()
{
    // The load's result would come after the window has gone: it is not
    // wanted, nor anything else the thread still sends.
    writeLog(LOG_INFO, "The load is stopped before closing");
    if (loadThread) {
        disconnect(loadThread.get(), nullptr, this, nullptr);
        loadThread->loadCancel();
        QApplication::setOverrideCursor(Qt::WaitCursor);
        loadThread->wait();
        QApplication::restoreOverrideCursor();
    }
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
    writeLog(LOG_INFO, "The load has stopped");
}
