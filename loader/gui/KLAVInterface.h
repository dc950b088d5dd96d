#pragma once
// Main window of the graphical mode: the database file, the connected
// terminals, the PAD number, a progress bar and the buttons that start, cancel
// and close. Each load runs on its own KLAVThread; the window hears of it only
// through the thread's queued signals and shows the outcome in a modal box.
//
// Keyboard: Tab follows the rows from top to bottom, left to right; Return
// clicks the focused button; Ctrl+O browses, F5 refreshes, Escape cancels a
// load, whatever the configured button texts. While a load runs the keyboard
// rests on the progress bar, so Return and Space stop nothing; it goes back
// to Load afterwards. Stopping a load (Cancel or Escape) and closing the
// window (Close or the frame) during a load ask first, No being the default;
// a load that ends while such a question is up takes the question away and
// its result is shown. A yes to closing stops the load and waits for it
// before the window goes.
//
// Buttons: Cancel only during a load; Load whenever a terminal is listed and
// a path is given, typed or picked. While no load runs the list follows the
// terminals plugged in and out by itself, keeping the chosen one as Refresh
// does.

#include "platform/DeviceChangeNotifier.h"
#include "platform/UsbTtyEnumerator.h"
#include "port/KLAVDeviceManager.h"

#include <QColor>
#include <QFont>
#include <QMainWindow>
#include <QMessageBox>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class KLAVThread;
class QCloseEvent;
class QComboBox;
class QLabel;
class QLineEdit;
class QPaintEvent;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTimer;

class KLAVInterface : public QMainWindow {
    Q_OBJECT
public:
    // Asks for a database file: (caption, start path, filter) -> the chosen
    // path, empty when the user gave up. The window uses Qt's file dialog.
    using FileChooser = std::function<QString(const QString &, const QString &, const QString &)>;

    // Discovers the terminals of the running system.
    explicit KLAVInterface(QWidget *parent = nullptr);
    // Discovers the USB serial terminals through the given enumerator.
    explicit KLAVInterface(UsbTtyEnumerator enumerator, QWidget *parent = nullptr);
    ~KLAVInterface() override;

    // Creates, places and connects the child widgets.
    void addComponents();

    void setFileChooser(FileChooser chooser) { fileChooser = std::move(chooser); }

    // Tells the user that the settings cannot be saved in the configuration
    // folder, naming it, and whether the window runs on the default settings
    // for want of a file; said once a run, however often saving fails.
    void tellSettingsNotSaved(bool runningOnDefaults = false);

    // The device list entry for a record: the name alone for a PC/SC
    // terminal, else the name followed by " - PORT: " and the port.
    static QString deviceEntryText(const KLAVDevice &device);

    // One text the window paints: base-line point, font and colour.
    struct PaintedText {
        QString text;
        QFont font;
        QColor color;
        QPoint at;
    };
    struct HelpLine {
        QString text;
        QPoint at;
    };
    using HelpLayout = std::vector<HelpLine>;

    // Where the help text entries are drawn: from (10, 70), one line every 30
    // pixels; each "[TAB]" entry draws nothing and indents every later line
    // by 30 pixels.
    static HelpLayout layoutHelpText(const std::vector<std::string> &entries);
    // Every text paintEvent draws, in drawing order.
    QVector<PaintedText> paintedTexts() const;
    // The result box text for a load result code; empty for codes without one.
    static QString resultText(int messageCode);
    // Whether two records stand for the same terminal on the same port.
    static bool sameTerminal(const KLAVDevice &a, const KLAVDevice &b);

    // Window size and the PAD numbers the terminals accept.
    static constexpr int kWidth = 570;
    static constexpr int kHeight = 430;
    static constexpr int kPadMin = 1;
    static constexpr int kPadMax = 14;
    static constexpr int kPadDefault = 2;
    // How often the list looks for terminals plugged in or out, where the
    // platform does not tell.
    static constexpr int kDeviceWatchMs = 1000;
    // How long it looks after the platform told of a change (a PC/SC reader
    // is listed by its service a moment after the device arrived).
    static constexpr int kDeviceNoticeWatchMs = 3000;

public slots:
    void slot_load();
    void slot_selectDb();
    void slot_loadDevices();
    void slot_close();
    void slot_showMessage(int messageCode);
    void slot_showNACK(QString NACKMessage);
    void slot_showProgress(int loadingProgress);

protected:
    void paintEvent(QPaintEvent *event) override;
    // Asks before a window with a load running goes (see agreeToClose).
    void closeEvent(QCloseEvent *event) override;

private:
    void buildWindow();
    void setKeyboardOrder();
    void fillDeviceCombo();
    void fitDevicePopup();
    // Chooses the entry of that terminal if it is listed.
    void selectTerminal(const KLAVDevice &device);
    // The no-terminal entry, shortened with an ellipsis when the list is
    // too narrow for it.
    QString fittedHint(const QString &hint) const;
    // Discovers again, keeping the chosen terminal when it is still there.
    void rediscover();
    // Rediscovers when what is plugged in has changed since last seen.
    void followDevices();
    void deviceNoticeArrived();
    void updateLoadButton();
    void setLoadingState(bool loading);
    void showResultBox(const QString &text, QMessageBox::Icon icon);
    void releaseFinishedThread();
    bool loadRunning() const;
    // Asks a yes/no question about the running load, No the default. True
    // for Yes while the load still runs; false for No, or when the load
    // ended while the question was up (the question is then taken away).
    bool askDuringLoad(const QString &question);
    // Cancel and Escape: asks, then stops the load after its current block.
    void askToStopLoad();
    // True when no load runs, or when the user agreed to stop it; the load
    // has then stopped.
    bool agreeToClose();
    void stopLoadBeforeClosing();

    KLAVDeviceManager deviceManager;
    QComboBox *deviceCombo = nullptr;
    QLineEdit *dbPathEdit = nullptr;
    QPushButton *browseButton = nullptr;
    QPushButton *loadButton = nullptr;
    QPushButton *renewButton = nullptr;
    QPushButton *closeButton = nullptr;
    QPushButton *cancelButton = nullptr;
    QProgressBar *progressBar = nullptr;
    QString dialogPath;
    QLabel *logoLabel = nullptr;
    // PAD number of the loads started from the window.
    QSpinBox *padSpinBox = nullptr;

    FileChooser fileChooser;
    // The thread of the latest load; kept until the next load or the end.
    std::unique_ptr<KLAVThread> loadThread;
    // Set by slot_close once the user agreed, so closing does not ask twice.
    bool closeAgreed = false;
    // From the start of a load until its result box is closed.
    bool loading = false;
    bool stopAsked = false;
    // The question about the running load that is up, if any.
    QPointer<QMessageBox> openQuestion;
    bool questionOutrun = false;
    bool settingsNotSavedTold = false;

    // What was plugged in when the list was last filled.
    std::vector<std::string> devicesSeen;
    QTimer *deviceWatch = nullptr;
    DeviceChangeNotifier deviceNotifier;
    bool platformNotifies = false;
    int noticeTicksLeft = 0;
};
