// Whole loads started from the window into terminal-sim over a pty, found
// through a device tree whose tty leads to that pty: progress, result boxes,
// cancelling, closing during a load, the state of the controls and the focus
// around a load, and the device list, which keeps still while a load runs.

#include "LogCapture.h"
#include "SimProcess.h"
#include "StreamCapture.h"
#include "SysfsTree.h"
#include "TestDatabase.h"
#include "WindowDriver.h"

#include "base/KLAVConfig.h"
#include "gui/KLAVInterface.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <unistd.h>

namespace {

constexpr int kBlock = 30717;
constexpr int kLoadTimeoutMs = 60000;

const char *const kControls[] = {"loadButton",  "renewButton", "browseButton",
                                 "deviceCombo", "dbPathEdit",  "padSpinBox"};

// What the load wrote to standard error (Qt's warnings included), but for
// the offscreen platform's own notice about message boxes.
std::string unexpected(rdrload::testing::StreamCapture &errors)
{
    std::string written = errors.text();
    const std::string platformNotice = "This plugin does not support propagateSizeHints()\n";
    for (size_t at; (at = written.find(platformNotice)) != std::string::npos;)
        written.erase(at, platformNotice.size());
    return written;
}

class WindowLoadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WindowDriver::resetConfig();
        ASSERT_TRUE(folder.isValid());
    }

    QString file(const char *name) const { return folder.filePath(QString::fromLatin1(name)); }

    // A sound database of fillerRows random rows; its size in blocks is
    // checked so that loads stay short.
    QString makeDatabase(const char *name, int fillerRows, int minBlocks, int maxBlocks)
    {
        const QString path = file(name);
        EXPECT_TRUE(TestDatabase::createValid(path, fillerRows));
        const qint64 size = QFileInfo(path).size();
        const qint64 blocks = (size + kBlock - 1) / kBlock;
        EXPECT_GE(blocks, minBlocks);
        EXPECT_LE(blocks, maxBlocks);
        return path;
    }

    // Starts terminal-sim with the given misbehaviours (frames logged, each
    // database received written out) and a window that lists it.
    void startTerminalAndWindow(std::vector<std::string> args)
    {
        args.insert(args.end(), {"--log", file("frames.log").toStdString(), "--out",
                                 file("received-%n.db").toStdString()});
        sim = std::make_unique<SimProcess>(SimProcess::terminalSim(), args);
        const std::string prefix = "/dev/";
        ASSERT_EQ(sim->slavePath().compare(0, prefix.size(), prefix), 0) << sim->slavePath();

        tree = std::make_unique<SysfsTree>();
        SysfsTree::UsbTty tty;
        tty.idVendor = std::string("0c59");
        tty.idProduct = std::string("0012");
        tty.devName = sim->slavePath().substr(prefix.size());
        tty.deviceNode = false; // the pty's own node under /dev
        tree->addUsbTty(tty);
        window = std::make_unique<KLAVInterface>(UsbTtyEnumerator(tree->sysRoot(), "/dev"));
        ASSERT_EQ(widget<QComboBox>("deviceCombo")->count(), 1);
    }

    void chooseDatabase(const QString &path)
    {
        window->setFileChooser(
            [path](const QString &, const QString &, const QString &) { return path; });
        window->slot_selectDb();
    }

    template <typename T = QWidget> T *widget(const char *name) const
    {
        return window->findChild<T *>(QString::fromLatin1(name));
    }

    bool loadingState() const
    {
        bool ok = widget("cancelButton")->isEnabled() && widget("closeButton")->isEnabled();
        for (const char *name : kControls)
            ok = ok && !widget(name)->isEnabled();
        return ok;
    }

    bool idleState() const
    {
        bool ok = !widget("cancelButton")->isEnabled() && widget("closeButton")->isEnabled();
        for (const char *name : kControls)
            ok = ok && widget(name)->isEnabled();
        return ok;
    }

    // Shows the window and waits until it has the keyboard.
    void showActive()
    {
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    // Waits until the keyboard is on the named widget.
    bool waitForFocusOn(const char *name) const
    {
        return WindowDriver::waitUntil([&] { return QApplication::focusWidget() == widget(name); },
                                       5000);
    }

    std::string frames() const
    {
        std::ifstream in(file("frames.log").toStdString());
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    bool framesContain(const std::string &text) const
    {
        return frames().find(text) != std::string::npos;
    }

    // Waits until the terminal saw the port closed for the count-th time.
    bool waitForPortClosed(int count = 1) const
    {
        return WindowDriver::waitUntil(
            [&] {
                const std::string log = frames();
                int seen = 0;
                for (size_t at = log.find("port closed by the host"); at != std::string::npos;
                     at = log.find("port closed by the host", at + 1))
                    ++seen;
                return seen >= count;
            },
            10000);
    }

    QTemporaryDir folder;
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<SysfsTree> tree;
    std::unique_ptr<KLAVInterface> window;
};

} // namespace

TEST_F(WindowLoadTest, LoadReachesTheTerminalWithProgressAndSuccessBox)
{
    LogCapture log;
    const QString database = makeDatabase("actes.db", 300, 2, 4);
    startTerminalAndWindow({});
    rdrload::testing::StreamCapture errors(stderr);
    showActive();
    chooseDatabase(database);
    widget<QSpinBox>("padSpinBox")->setValue(5);

    auto *bar = widget<QProgressBar>("progressBar");
    std::vector<int> shown;
    QObject::connect(bar, &QProgressBar::valueChanged, [&](int value) { shown.push_back(value); });
    int barAtBox = -1;
    bool loadingWhileBoxUp = false;
    QWidget *focusWhileBoxUp = nullptr;
    ModalBoxCloser closer([&](QMessageBox *) {
        barAtBox = bar->value();
        loadingWhileBoxUp = loadingState();
        focusWhileBoxUp = window->focusWidget();
    });

    // Started from the keyboard: Return on the focused Load button; the
    // keyboard then rests on the bar, so a second key press stops nothing.
    widget("loadButton")->setFocus();
    ASSERT_TRUE(waitForFocusOn("loadButton"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_TRUE(loadingState());
    EXPECT_EQ(QApplication::focusWidget(), widget("progressBar"));
    ASSERT_TRUE(closer.waitForBoxes(1, kLoadTimeoutMs));

    const auto &box = closer.boxes()[0];
    EXPECT_EQ(box.title, QStringLiteral("KLAV message"));
    EXPECT_EQ(box.text, QStringLiteral("Loading succeeded"));
    EXPECT_TRUE(box.hasParent);
    EXPECT_EQ(box.icon, QMessageBox::Information);
    EXPECT_EQ(box.windowIcon.cacheKey(), window->windowIcon().cacheKey());
    EXPECT_EQ(barAtBox, 100);
    EXPECT_TRUE(loadingWhileBoxUp);
    EXPECT_EQ(focusWhileBoxUp, widget("progressBar"));
    // Back on Load once the box is gone, ready for the next load, when the
    // window has the keyboard again (the window manager's part).
    EXPECT_EQ(window->focusWidget(), widget("loadButton"));
    QApplication::setActiveWindow(window.get());
    EXPECT_TRUE(waitForFocusOn("loadButton"));
    // One value per accepted block, 99 at most, then 100 for success and 0
    // once the box is closed.
    ASSERT_GE(shown.size(), 4u);
    EXPECT_EQ(shown[shown.size() - 1], 0);
    EXPECT_EQ(shown[shown.size() - 2], 100);
    for (size_t i = 0; i + 2 < shown.size(); ++i) {
        EXPECT_GT(shown[i], 0);
        EXPECT_LE(shown[i], 99);
        if (i > 0) {
            EXPECT_GT(shown[i], shown[i - 1]);
        }
    }
    EXPECT_EQ(bar->value(), 0);
    EXPECT_TRUE(idleState());

    ASSERT_TRUE(waitForPortClosed());
    EXPECT_EQ(TestDatabase::contents(file("received-1.db")), TestDatabase::contents(database));
    EXPECT_TRUE(framesContain("load 1: initialisation, PAD 5"));
    EXPECT_TRUE(framesContain("H>T ending"));
    EXPECT_TRUE(log.has("Loading thread has been started"));

    // A second load from the same window, on the same port.
    widget<QSpinBox>("padSpinBox")->setValue(14);
    QTest::mouseClick(widget<QPushButton>("loadButton"), Qt::LeftButton);
    ASSERT_TRUE(closer.waitForBoxes(2, kLoadTimeoutMs));
    EXPECT_EQ(closer.boxes()[1].text, QStringLiteral("Loading succeeded"));
    ASSERT_TRUE(waitForPortClosed(2));
    EXPECT_EQ(TestDatabase::contents(file("received-2.db")), TestDatabase::contents(database));
    EXPECT_TRUE(framesContain("load 2: initialisation, PAD 14"));
    // In particular no warning about SQL connections.
    EXPECT_EQ(unexpected(errors), "");
}

// During a load no key but an explicit cancel stops it: Return and Space do
// nothing, Cancel and Escape ask "Stop the load?" first, No the default. A
// question left up goes when the load ends and the result shows. A yes stops
// the load after its block, with no ending frame. Terminals plugged in
// meanwhile are listed once the load is over, not during it.
TEST_F(WindowLoadTest, OnlyAnExplicitCancelStopsALoad)
{
    const QString database = makeDatabase("big.db", 500, 4, 5);
    const auto none = QMessageBox::NoButton, no = QMessageBox::No, yes = QMessageBox::Yes;
    const int click = 0; // on Cancel; else the key pressed
    struct Case {
        const char *name;
        std::vector<std::pair<int, QMessageBox::StandardButton>> presses;
        bool stops;
    };
    const std::vector<Case> cases{
        {"keys, then no twice",
         {{Qt::Key_Return, none}, {Qt::Key_Space, none}, {Qt::Key_Escape, no}, {click, no}},
         false},
        {"Escape, yes", {{Qt::Key_Escape, yes}}, true},
        {"Cancel, yes", {{click, yes}}, true},
        {"Cancel, left up", {{click, none}}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(file("received-1.db")); // from the case before
        startTerminalAndWindow({"--delay", "500"});
        showActive();
        chooseDatabase(database);
        auto *bar = widget<QProgressBar>("progressBar");
        auto *combo = widget<QComboBox>("deviceCombo");
        const QString terminal = combo->currentText();
        QMessageBox::StandardButton answer = none;
        int listedAtResult = -1; // the load ran until the result came
        ModalBoxCloser closer([&](QMessageBox *box) {
            if (box->icon() != QMessageBox::Question)
                listedAtResult = combo->count();
        });
        closer.setAnswer([&](const ModalBoxCloser::Box &box) {
            return box.icon == QMessageBox::Question ? answer : QMessageBox::Ok;
        });
        widget<QPushButton>("loadButton")->click();
        ASSERT_TRUE(WindowDriver::waitUntil(
            [&] { return bar->value() > 0 || !closer.boxes().empty(); }, kLoadTimeoutMs));
        ASSERT_TRUE(closer.boxes().empty()) << closer.boxes()[0].text.toStdString();
        EXPECT_EQ(QApplication::focusWidget(), bar);
        SysfsTree::UsbTty another; // plugged in during the load
        another.port = "ttyACM5";
        another.busPosition = "1-7";
        another.idVendor = std::string("0c59");
        another.idProduct = std::string("0012");
        another.devName = "null";
        another.deviceNode = false;
        tree->addUsbTty(another);

        for (const auto &[press, reply] : c.presses) {
            const size_t before = closer.boxes().size();
            answer = reply;
            if (press == click)
                QTest::mouseClick(widget<QPushButton>("cancelButton"), Qt::LeftButton);
            else
                QTest::keyClick(QApplication::focusWidget(), Qt::Key(press));
            const bool asks = press == click || press == Qt::Key_Escape;
            ASSERT_EQ(closer.boxes().size() > before, asks); // a question left up: result too
            if (asks) {
                EXPECT_EQ(closer.boxes()[before].text, QStringLiteral("Stop the load?"));
                EXPECT_EQ(closer.boxes()[before].defaultButton, QMessageBox::No);
            }
        }
        const QString result = c.stops ? "Loading was cancelled" : "Loading succeeded";
        ASSERT_TRUE(WindowDriver::waitUntil(
            [&] { return !closer.boxes().empty() && closer.boxes().back().text == result; },
            kLoadTimeoutMs));
        EXPECT_TRUE(idleState());
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr); // no question left behind
        ASSERT_TRUE(waitForPortClosed());
        EXPECT_EQ(framesContain("H>T ending"), !c.stops);
        EXPECT_EQ(QFileInfo::exists(file("received-1.db")), !c.stops);
        // The list kept still during the load and follows after it.
        EXPECT_EQ(listedAtResult, 1);
        EXPECT_TRUE(WindowDriver::waitUntil([&] { return combo->count() == 2; }, 5000));
        EXPECT_EQ(combo->currentText(), terminal);
        window.reset();
        sim.reset();
    }
}

TEST_F(WindowLoadTest, FailedLoadsShowTheTextOfTheirResult)
{
    const QString small = makeDatabase("small.db", 20, 1, 1);
    const QString incoherent = file("incoherent.db");
    ASSERT_TRUE(TestDatabase::createWithSwappedIndexes(incoherent));
    struct Case {
        std::vector<std::string> misbehaviour;
        QString database;
        QString text;
    };
    const std::vector<Case> cases{
        {{}, incoherent, "The database is not coherent"},
        {{"--wrong-byte", "init:3"}, small, "Initialisation protocol failed"},
        {{"--silent"}, small, "No response from the terminal"},
        {{"--nack", "1:Err"}, small, "A NACK was received : Err"},
        {{"--incomplete-nack", "1"}, small, "An incomplete NACK was received"},
        {{"--refuse", "1"}, small, "A data block was refused"},
        {{"--no-ending-reply"}, small, "Failed to send ending frame"},
        {{"--short-reply", "request:3"}, small, "Loading request failed - error : 0x"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        startTerminalAndWindow(c.misbehaviour);
        chooseDatabase(c.database);
        ModalBoxCloser closer;
        widget<QPushButton>("loadButton")->click();
        ASSERT_TRUE(closer.waitForBoxes(1, kLoadTimeoutMs));
        EXPECT_TRUE(closer.boxes()[0].text.startsWith(c.text))
            << closer.boxes()[0].text.toStdString();
        EXPECT_EQ(closer.boxes()[0].title, QStringLiteral("KLAV message"));
        EXPECT_EQ(closer.boxes()[0].icon, QMessageBox::Warning);
        EXPECT_EQ(closer.boxes()[0].windowIcon.cacheKey(), window->windowIcon().cacheKey());
        EXPECT_TRUE(idleState());
        EXPECT_EQ(window->focusWidget(), widget("loadButton"));
        window.reset();
        sim.reset();
    }
}

TEST_F(WindowLoadTest, MissingDatabaseFileIsToldAndNothingStarts)
{
    LogCapture log;
    startTerminalAndWindow({});
    rdrload::testing::StreamCapture errors(stderr);
    ModalBoxCloser closer;
    // No path at all: Load is off. A file that is not there is told.
    widget<QLineEdit>("dbPathEdit")->clear();
    EXPECT_FALSE(widget("loadButton")->isEnabled());
    for (const QString &path : {file("missing.db")}) {
        SCOPED_TRACE(path.toStdString());
        widget<QLineEdit>("dbPathEdit")->setText(path);
        const size_t before = closer.boxes().size();
        widget<QPushButton>("loadButton")->click();
        ASSERT_TRUE(closer.waitForBoxes(before + 1, 10000));
        const ModalBoxCloser::Box &box = closer.boxes()[before];
        EXPECT_EQ(box.title, QStringLiteral("KLAV Message"));
        EXPECT_EQ(box.text, QStringLiteral("Database file does not exist"));
        EXPECT_FALSE(box.hasParent);
        EXPECT_EQ(box.icon, QMessageBox::Warning);
        EXPECT_EQ(box.windowIcon.cacheKey(), window->windowIcon().cacheKey());
        // The window stays as it was.
        EXPECT_TRUE(idleState());
    }
    EXPECT_FALSE(log.has("Loading thread has been started"));
    EXPECT_FALSE(log.has("Database manager has been created"));
    EXPECT_FALSE(framesContain("port opened by the host"));
    EXPECT_EQ(unexpected(errors), "");
}

TEST_F(WindowLoadTest, ClosingTheWindowDuringALoadStopsIt)
{
    const QString database = makeDatabase("big.db", 500, 4, 5);
    startTerminalAndWindow({});
    chooseDatabase(database);
    auto *bar = widget<QProgressBar>("progressBar");
    widget<QPushButton>("loadButton")->click();
    ASSERT_TRUE(WindowDriver::waitUntil([&] { return bar->value() > 0; }, kLoadTimeoutMs));
    window.reset(); // waits for the thread, which stops after its block
    EXPECT_TRUE(waitForPortClosed());
    EXPECT_FALSE(framesContain("H>T ending"));
    EXPECT_FALSE(QFileInfo::exists(file("received-1.db")));
}

// Closing the window while a load runs, by the Close button or by the frame,
// asks first. No: the load goes on to its end. Yes: the load stops after its
// current block, the window waits for it and goes, and nothing more shows.
// Left unanswered: the question goes when the load ends, the result shows and
// the window stays.
// terminal-sim answers slowly so that the load still runs when the window is
// closed.
TEST_F(WindowLoadTest, ClosingDuringALoadAsksFirst)
{
    const QString database = makeDatabase("big.db", 500, 4, 5);
    struct Case {
        const char *name;
        bool byFrame;
        QMessageBox::StandardButton answer;
    };
    const std::vector<Case> cases{{"frame, no", true, QMessageBox::No},
                                  {"Close, no", false, QMessageBox::No},
                                  {"frame, yes", true, QMessageBox::Yes},
                                  {"Close, yes", false, QMessageBox::Yes},
                                  {"frame, left up", true, QMessageBox::NoButton},
                                  {"Close, left up", false, QMessageBox::NoButton}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture log;
        QFile::remove(file("received-1.db")); // from the case before
        startTerminalAndWindow({"--delay", "300"});
        showActive();
        chooseDatabase(database);
        auto *bar = widget<QProgressBar>("progressBar");
        rdrload::testing::StreamCapture errors(stderr);
        ModalBoxCloser closer;
        closer.setAnswer([&](const ModalBoxCloser::Box &box) {
            return box.icon == QMessageBox::Question ? c.answer : QMessageBox::Ok;
        });

        widget<QPushButton>("loadButton")->click();
        ASSERT_TRUE(WindowDriver::waitUntil(
            [&] { return bar->value() > 0 || !closer.boxes().empty(); }, kLoadTimeoutMs));
        ASSERT_TRUE(closer.boxes().empty()) << closer.boxes()[0].text.toStdString();
        if (c.byFrame) {
            // As the window manager's close reaches the window.
            QCloseEvent frameClose;
            QCoreApplication::sendEvent(window->windowHandle(), &frameClose);
        } else
            widget<QPushButton>("closeButton")->click();

        // The question was asked and answered (or outrun) inside the close.
        ASSERT_EQ(closer.boxes().size(), c.answer == QMessageBox::NoButton ? 2u : 1u);
        const ModalBoxCloser::Box &question = closer.boxes()[0];
        EXPECT_EQ(question.title, QStringLiteral("KLAV message"));
        EXPECT_EQ(question.text, QStringLiteral("A load is in progress. Stop it and quit?"));
        EXPECT_EQ(question.icon, QMessageBox::Question);
        EXPECT_EQ(question.buttons, QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(question.defaultButton, QMessageBox::No);
        EXPECT_TRUE(question.hasParent);
        EXPECT_EQ(question.windowIcon.cacheKey(), window->windowIcon().cacheKey());

        if (c.answer == QMessageBox::NoButton) {
            EXPECT_EQ(closer.boxes()[1].text, QStringLiteral("Loading succeeded"));
            EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
            EXPECT_TRUE(window->isVisible());
            EXPECT_TRUE(idleState());
            EXPECT_TRUE(log.has("The load ended while the question was up"));
            ASSERT_TRUE(waitForPortClosed());
            EXPECT_EQ(TestDatabase::contents(file("received-1.db")),
                      TestDatabase::contents(database));
        } else if (c.answer == QMessageBox::No) {
            EXPECT_TRUE(window->isVisible());
            EXPECT_TRUE(loadingState());
            ASSERT_TRUE(closer.waitForBoxes(2, kLoadTimeoutMs));
            EXPECT_EQ(closer.boxes()[1].text, QStringLiteral("Loading succeeded"));
            EXPECT_TRUE(idleState());
            ASSERT_TRUE(waitForPortClosed());
            EXPECT_EQ(TestDatabase::contents(file("received-1.db")),
                      TestDatabase::contents(database));
            EXPECT_TRUE(log.has("Closing refused, the load goes on"));
        } else {
            EXPECT_FALSE(window->isVisible());
            // The load had ended before the window went.
            EXPECT_TRUE(log.has("Connection has been successfully closed"));
            EXPECT_TRUE(log.has("The load has stopped"));
            ASSERT_TRUE(waitForPortClosed());
            QCoreApplication::processEvents(); // whatever the thread had sent
            EXPECT_EQ(closer.boxes().size(), 1u);
            EXPECT_FALSE(framesContain("H>T ending"));
            EXPECT_FALSE(QFileInfo::exists(file("received-1.db")));
        }
        EXPECT_EQ(unexpected(errors), "");
        window.reset();
        sim.reset();
    }
}
