// The main window on the offscreen platform: where its widgets land, what it
// paints, which terminals it lists, how a database file is chosen, what the
// keyboard does and what the tooltips tell.

#include "LogCapture.h"
#include "ReadOnlyFolder.h"
#include "SysfsTree.h"
#include "WindowDriver.h"

#include "base/KLAVConfig.h"
#include "gui/KLAVInterface.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

QRect rect(int x, int y, int w, int h)
{
    return QRect(x, y, w, h);
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { WindowDriver::resetConfig(); }

    std::unique_ptr<KLAVInterface> makeWindow()
    {
        return std::make_unique<KLAVInterface>(UsbTtyEnumerator(tree.sysRoot(), tree.devRoot()));
    }

    // A terminal of the configured kind (0c59/0012) at port ttyACM<n>.
    void addTerminal(int n, const std::string &product)
    {
        SysfsTree::UsbTty tty;
        tty.port = "ttyACM" + std::to_string(n);
        tty.busPosition = "1-" + std::to_string(n + 1);
        tty.serial = "SN" + std::to_string(n);
        tty.idVendor = std::string("0c59");
        tty.idProduct = std::string("0012");
        tty.product = product;
        tree.addUsbTty(tty);
    }

    template <typename T> static T *child(const KLAVInterface &window, const char *name)
    {
        T *widget = window.findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    static QStringList comboEntries(const KLAVInterface &window)
    {
        QStringList entries;
        const QComboBox *combo = child<QComboBox>(window, "deviceCombo");
        for (int i = 0; i < combo->count(); ++i)
            entries << combo->itemText(i);
        return entries;
    }

    SysfsTree tree;
};

// Pixels darker than the window's background (text ink, black or dark
// grey) inside r of the image.
int inkIn(const QImage &image, const QRect &r)
{
    int ink = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            ink += qGray(image.pixel(x, y)) < 180 ? 1 : 0;
    return ink;
}

} // namespace

TEST_F(WindowTest, WidgetsAreCreatedInOrderAtTheirComputedPlaces)
{
    LogCapture log;
    auto window = makeWindow();

    EXPECT_EQ(window->minimumSize(), QSize(570, 430));
    EXPECT_EQ(window->maximumSize(), QSize(570, 430));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("KLAV Chargeur"));
    EXPECT_FALSE(window->windowIcon().isNull());

    const QPixmap logo(QCoreApplication::applicationDirPath() +
                       "/icons/logo_velantra_qx_n-ov_turquoise_blue_sans_fond.png");
    ASSERT_EQ(logo.size(), QSize(132, 44));
    EXPECT_EQ(child<QLabel>(*window, "logoLabel")->geometry(), rect(436, 10, 132, 44));
    EXPECT_EQ(child<QLineEdit>(*window, "dbPathEdit")->geometry(), rect(162, 212, 285, 30));
    EXPECT_EQ(child<QComboBox>(*window, "deviceCombo")->geometry(), rect(162, 255, 285, 30));
    auto *browse = child<QPushButton>(*window, "browseButton");
    EXPECT_EQ(browse->geometry(), rect(457, 212, 100, 30));
    EXPECT_EQ(browse->iconSize(), QSize(33, 21));
    EXPECT_FALSE(browse->icon().isNull());
    EXPECT_EQ(child<QPushButton>(*window, "renewButton")->geometry(), rect(457, 255, 100, 30));
    auto *bar = child<QProgressBar>(*window, "progressBar");
    EXPECT_EQ(bar->geometry(), rect(162, 293, 285, 30));
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(bar->alignment(), Qt::AlignCenter);
    EXPECT_EQ(child<QPushButton>(*window, "cancelButton")->geometry(), rect(457, 293, 100, 30));
    auto *load = child<QPushButton>(*window, "loadButton");
    EXPECT_EQ(load->geometry(), rect(162, 353, 100, 30));
    EXPECT_FALSE(load->icon().isNull());
    EXPECT_EQ(child<QPushButton>(*window, "closeButton")->geometry(), rect(272, 353, 100, 30));
    auto *pad = child<QSpinBox>(*window, "padSpinBox");
    EXPECT_EQ(pad->geometry(), rect(500, 353, 57, 30));
    EXPECT_EQ(pad->minimum(), 1);
    EXPECT_EQ(pad->maximum(), 14);
    EXPECT_EQ(pad->value(), 2);

    // Button texts come from the configuration as they are.
    EXPECT_EQ(browse->text(), QStringLiteral("Parcourir"));
    EXPECT_EQ(load->text(), QStringLiteral("Charger"));
    EXPECT_EQ(child<QPushButton>(*window, "renewButton")->text(), QStringLiteral("Rafraîchir"));
    EXPECT_EQ(child<QPushButton>(*window, "cancelButton")->text(), QStringLiteral("Annuler"));
    EXPECT_EQ(child<QPushButton>(*window, "closeButton")->text(), QStringLiteral("Fermer"));

    // Creation order is the order of the window's children.
    QStringList order;
    for (QObject *object : window->children())
        if (!object->objectName().isEmpty() && object->isWidgetType())
            order << object->objectName();
    EXPECT_EQ(order, (QStringList{"logoLabel", "dbPathEdit", "deviceCombo", "browseButton",
                                  "renewButton", "progressBar", "cancelButton", "loadButton",
                                  "closeButton", "padSpinBox"}));

    // Every control starts enabled but Cancel (no load to stop) and Load (no
    // terminal, no path).
    for (const char *name :
         {"dbPathEdit", "deviceCombo", "browseButton", "renewButton", "closeButton", "padSpinBox"})
        EXPECT_TRUE(child<QWidget>(*window, name)->isEnabled()) << name;
    EXPECT_FALSE(child<QWidget>(*window, "cancelButton")->isEnabled());
    EXPECT_FALSE(load->isEnabled());

    int at = 0;
    for (const char *line :
         {"KLAVInterface::KLAVInterface", "KLAVInterface::addComponents",
          "File browser has been added", "QComboBox for devices has been added",
          "File selection button has been added",
          "Device list re-enumeration button has been added", "Progressbar has been added",
          "Button for loading cancelling has been added", "Database loading button has been added",
          "Close button has been added", "KLAVInterface::addComponents",
          "Found connected (and supported) devices", "Device list has been shown",
          "KLAVInterface::KLAVInterface"}) {
        at = log.find(line, at);
        ASSERT_GE(at, 0) << line;
        ++at;
    }

    window.reset();
    EXPECT_TRUE(log.has("Logging has been finished"));
}

TEST_F(WindowTest, TextsArePaintedBesideTheirWidgetsAndInk)
{
    g_config.copyright = "(c) Quillbox";
    auto window = makeWindow();

    struct Expected {
        QString text;
        QPoint at;
        int pointSize;
        bool bold;
        QColor color;
    };
    const QColor black(Qt::black), grey(Qt::darkGray);
    const std::vector<Expected> expected{
        {"KLAV Chargeur", {10, 30}, 12, true, black},
        {"Périphériques", {10, 275}, 10, false, black},
        {"Base de données", {10, 232}, 10, false, black},
        {"Progrès du chargement", {10, 313}, 10, false, black},
        {"Bienvenue à KLAV Chargeur !", {10, 70}, 10, false, black},
        {"1. Cliquer sur 'Parcourir' pour choisir une base de données (.db)",
         {40, 100},
         10,
         false,
         black},
        {"2. Choisir un périphérique dans 'Périphériques' (Cliquer sur 'Rafraîchir' si besoin)",
         {40, 130},
         10,
         false,
         black},
        {"3. Choisir un numéro de PAD", {40, 160}, 10, false, black},
        {"4. Cliquer sur 'Charger'", {40, 190}, 10, false, black},
        {"(c) Quillbox", {10, 415}, 10, false, grey},
    };
    const QVector<KLAVInterface::PaintedText> painted = window->paintedTexts();
    for (const Expected &e : expected) {
        auto found =
            std::find_if(painted.begin(), painted.end(),
                         [&](const KLAVInterface::PaintedText &p) { return p.text == e.text; });
        ASSERT_NE(found, painted.end()) << e.text.toStdString();
        EXPECT_EQ(found->at, e.at) << e.text.toStdString();
        EXPECT_EQ(found->font.family(), QStringLiteral("Arial"));
        EXPECT_EQ(found->font.pointSize(), e.pointSize);
        EXPECT_EQ(found->font.bold(), e.bold);
        EXPECT_EQ(found->color, e.color);
    }

    // The PAD label ends just before its selector, on the selector's row.
    auto pad =
        std::find_if(painted.begin(), painted.end(),
                     [](const KLAVInterface::PaintedText &p) { return p.text == "Numéro de PAD"; });
    ASSERT_NE(pad, painted.end());
    EXPECT_EQ(pad->at.y(), 373);
    EXPECT_EQ(pad->at.x() + QFontMetrics(pad->font).horizontalAdvance(pad->text), 492);
    EXPECT_GE(pad->at.x(), 382);

    // The grabbed window shows ink where the texts are, and the "[TAB]" line
    // leaves its indentation blank.
    const QImage image = window->grab().toImage();
    for (const Expected &e : expected)
        EXPECT_GT(inkIn(image, QRect(e.at.x(), e.at.y() - 10, 40, 12)), 0) << e.text.toStdString();
    EXPECT_GT(inkIn(image, QRect(pad->at.x(), 363, 492 - pad->at.x(), 12)), 0);
    EXPECT_EQ(inkIn(image, QRect(10, 88, 28, 14)), 0);
    EXPECT_EQ(inkIn(image, QRect(10, 178, 28, 14)), 0);
}

TEST(HelpTextLayoutTest, TabEntriesIndentEveryLaterLine)
{
    const auto lines = KLAVInterface::layoutHelpText(
        {"a", "[TAB]", "[TAB]\r", "b", "[TAB]x", " [TAB]", "c", "[tab]", "[TAB]", "d"});
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0].at, QPoint(10, 70));
    EXPECT_EQ(lines[1].text, QStringLiteral("b"));
    EXPECT_EQ(lines[1].at, QPoint(70, 100)); // two tabs in a row: 60 pixels
    EXPECT_EQ(lines[2].text, QStringLiteral("[TAB]x"));
    EXPECT_EQ(lines[3].text, QStringLiteral(" [TAB]"));
    EXPECT_EQ(lines[4].at, QPoint(70, 190));
    EXPECT_EQ(lines[5].text, QStringLiteral("[tab]"));
    EXPECT_EQ(lines[6].at, QPoint(100, 250)); // no way back, nothing limits the length
}

TEST_F(WindowTest, ProgressShowsAtMost99UntilSuccess)
{
    auto window = makeWindow();
    auto *bar = child<QProgressBar>(*window, "progressBar");
    for (int value : {0, 33, 99}) {
        window->slot_showProgress(value);
        EXPECT_EQ(bar->value(), value);
    }
    window->slot_showProgress(100);
    EXPECT_EQ(bar->value(), 99);
    window->slot_showProgress(250);
    EXPECT_EQ(bar->value(), 99);
}

TEST_F(WindowTest, DeviceListShowsSupportedTerminalsAndFollowsRefresh)
{
    addTerminal(0, "Velantra QX");
    SysfsTree::UsbTty other; // a vendor the configuration does not list
    other.port = "ttyACM7";
    other.busPosition = "2-1";
    tree.addUsbTty(other);
    auto window = makeWindow();
    EXPECT_EQ(comboEntries(*window), QStringList{"Velantra QX - PORT: ttyACM0"});

    addTerminal(1, "Velantra QX Mobile");
    window->slot_loadDevices();
    EXPECT_EQ(comboEntries(*window),
              (QStringList{"Velantra QX - PORT: ttyACM0", "Velantra QX Mobile - PORT: ttyACM1"}));
    // No database chosen yet: Load stays off after a refresh.
    EXPECT_FALSE(child<QPushButton>(*window, "loadButton")->isEnabled());

    const KLAVDevice pcsc("", "", "PCSC", "Quillbox Reader 0", KLAVGuid());
    EXPECT_EQ(KLAVInterface::deviceEntryText(pcsc), QStringLiteral("Quillbox Reader 0"));
    const KLAVDevice com6("\\\\?\\usb#vid_0c59&pid_0012#1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}",
                          "COM6", "COM6", "Velantra QX", usbDeviceInterfaceClass());
    EXPECT_EQ(KLAVInterface::deviceEntryText(com6), QStringLiteral("Velantra QX - PORT: COM6"));
}

TEST_F(WindowTest, WithoutTerminalsTheListSaysWhyAndLoadDoesNothingVisible)
{
    QTemporaryDir folder;
    const QString database = folder.filePath(QStringLiteral("actes.db"));
    QFile(database).open(QIODevice::WriteOnly);
    g_recentPath = database;
    const QString hint = QStringLiteral("No terminal: connect one");

    // The hint fits the closed list, or ends with an ellipsis; its tooltip
    // is whole either way (the French rows are in the translation tests).
    struct Case {
        const char *name;
        int pointSize; // of the application font; 0: as it is
        bool elided;
    };
    const QFont usual = QApplication::font();
    for (const Case &c : {Case{"usual font", 0, false}, Case{"large font", 22, true}}) {
        SCOPED_TRACE(c.name);
        if (c.pointSize) {
            QFont large = usual;
            large.setPointSize(c.pointSize);
            QApplication::setFont(large);
        }
        auto window = makeWindow();
        QApplication::setFont(usual);
        auto *combo = child<QComboBox>(*window, "deviceCombo");
        ASSERT_EQ(combo->count(), 1);
        const QString shown = combo->itemText(0);
        EXPECT_EQ(shown != hint, c.elided) << shown.toStdString();
        if (c.elided) {
            EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
            EXPECT_TRUE(hint.startsWith(shown.chopped(1))) << shown.toStdString();
        }
        EXPECT_LE(combo->fontMetrics().horizontalAdvance(shown), combo->width() - 20);
        EXPECT_EQ(combo->itemData(0, Qt::ToolTipRole).toString(), hint);
        EXPECT_EQ(combo->toolTip(), hint);
    }

    LogCapture log; // a window closes the log as it goes
    auto window = makeWindow();
    ModalBoxCloser closer;
    // Load is off: no terminal stands behind the hint, even with a path.
    EXPECT_FALSE(child<QPushButton>(*window, "loadButton")->isEnabled());
    window->slot_load();
    EXPECT_FALSE(closer.waitForBoxes(1, 300));
    EXPECT_TRUE(log.has("No device selected"));
    EXPECT_FALSE(log.has("Loading thread has been started"));

    // Once a terminal is there, the hint is gone and Load comes on.
    addTerminal(0, "Velantra QX");
    window->slot_loadDevices();
    EXPECT_EQ(comboEntries(*window), QStringList{"Velantra QX - PORT: ttyACM0"});
    EXPECT_TRUE(child<QPushButton>(*window, "loadButton")->isEnabled());
}

// Load is on whenever a terminal is listed and a path is given, typed or
// picked; Cancel only while a load runs (the load tests).
TEST_F(WindowTest, LoadIsOnWithATerminalAndAPath)
{
    struct Step {
        const char *name;
        std::function<void(KLAVInterface &)> act;
        bool loadOn;
    };
    const std::vector<Step> steps{
        {"start, no path", [](KLAVInterface &) {}, false},
        {"path typed",
         [](KLAVInterface &w) { QTest::keyClicks(child<QLineEdit>(w, "dbPathEdit"), "/srv/a.db"); },
         true},
        {"path cleared", [](KLAVInterface &w) { child<QLineEdit>(w, "dbPathEdit")->clear(); },
         false},
        {"blanks only", [](KLAVInterface &w) { child<QLineEdit>(w, "dbPathEdit")->setText("  "); },
         false},
        {"path picked", [](KLAVInterface &w) { w.slot_selectDb(); }, true},
        {"terminal gone",
         [this](KLAVInterface &w) {
             QFile::remove(QString::fromStdString(tree.sysRoot() + "/class/tty/ttyACM0"));
             w.slot_loadDevices();
         },
         false},
        {"terminal back",
         [this](KLAVInterface &w) {
             addTerminal(0, "Velantra QX");
             w.slot_loadDevices();
         },
         true},
    };
    addTerminal(0, "Velantra QX");
    auto window = makeWindow();
    window->setFileChooser([](const QString &, const QString &, const QString &) {
        return QStringLiteral("/srv/picked.db");
    });
    for (const Step &step : steps) {
        SCOPED_TRACE(step.name);
        step.act(*window);
        EXPECT_EQ(child<QPushButton>(*window, "loadButton")->isEnabled(), step.loadOn);
        EXPECT_FALSE(child<QPushButton>(*window, "cancelButton")->isEnabled());
    }
}

// Rows from top to bottom, left to right; Return clicks whichever button has
// the keyboard (Load's Return is in the load tests).
TEST_F(WindowTest, TabFollowsTheRowsAndReturnClicksTheFocusedButton)
{
    LogCapture log;
    addTerminal(0, "Velantra QX");
    g_recentPath = QStringLiteral("/srv/actes.db"); // Load is on
    auto window = makeWindow();
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    // The named control that has the keyboard (a spin box gives it to its
    // inner field).
    auto focused = [&]() -> QString {
        for (QWidget *w = QApplication::focusWidget(); w; w = w->parentWidget())
            if (!w->objectName().isEmpty() && w->parentWidget() == window.get())
                return w->objectName();
        return QString();
    };

    // Cancel, off while no load runs, is passed over.
    child<QWidget>(*window, "dbPathEdit")->setFocus();
    QStringList order{focused()};
    for (int i = 0; i < 7; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order << focused();
    }
    EXPECT_EQ(order, (QStringList{"dbPathEdit", "browseButton", "deviceCombo", "renewButton",
                                  "loadButton", "closeButton", "padSpinBox", "dbPathEdit"}));

    int dialogs = 0;
    window->setFileChooser([&](const QString &, const QString &, const QString &) {
        ++dialogs;
        return QString();
    });
    auto pressReturnOn = [&](const char *name) {
        child<QWidget>(*window, name)->setFocus();
        EXPECT_EQ(focused(), QString::fromLatin1(name));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    };
    pressReturnOn("browseButton");
    EXPECT_EQ(dialogs, 1);
    pressReturnOn("renewButton");
    EXPECT_EQ(log.count("Devices have been re-enumerated"), 1);
    // Return in the path field clicks nothing.
    pressReturnOn("dbPathEdit");
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(window->isVisible());
    pressReturnOn("closeButton"); // no load runs: closes without a question
    EXPECT_FALSE(window->isVisible());
}

// Ctrl+O browses and F5 refreshes whatever the configured button texts, an
// "&" in them included (Escape during a load is in the load tests; while no
// load runs it asks nothing).
TEST_F(WindowTest, CtrlOBrowsesAndF5RefreshesWhateverTheButtonTexts)
{
    struct Case {
        const char *name;
        std::string browse, renew;
    };
    const std::vector<Case> cases{{"French", "Parcourir", "Rafraîchir"},
                                  {"English", "Browse", "Refresh"},
                                  {"with their own keys", "&Open", "Re&fresh"},
                                  {"empty", "", ""}};
    addTerminal(0, "Velantra QX");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture log;
        g_config.Browse = c.browse;
        g_config.Renew_devices = c.renew;
        auto window = makeWindow();
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        int dialogs = 0;
        window->setFileChooser([&](const QString &, const QString &, const QString &) {
            ++dialogs;
            return QString();
        });
        ModalBoxCloser closer;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_O, Qt::ControlModifier);
        EXPECT_EQ(dialogs, 1);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F5);
        EXPECT_EQ(log.count("Devices have been re-enumerated"), 1);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        EXPECT_FALSE(closer.waitForBoxes(1, 100));
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(child<QPushButton>(*window, "browseButton")->toolTip(), QStringLiteral("Ctrl+O"));
        EXPECT_EQ(child<QPushButton>(*window, "renewButton")->toolTip(), QStringLiteral("F5"));
    }
}

// Settings that cannot be saved are told once, naming the folder: at the
// start when the program folder cannot be written (the window then runs on
// the default texts), or at the first pick when only config/ cannot be.
TEST_F(WindowTest, SettingsThatCannotBeSavedAreToldOnceNamingTheFolder)
{
    const QString here = QCoreApplication::applicationDirPath();
    const QString configFolder = here + QStringLiteral("/config");
    struct Case {
        const char *name;
        bool programFolderReadOnly;
        QString consequence;
    };
    const std::vector<Case> cases{
        {"program folder read-only, no config folder", true,
         "The program runs on its default settings, and the database you choose will not be "
         "proposed at the next start."},
        {"config folder read-only", false,
         "The database you chose will not be proposed at the next start."},
    };
    addTerminal(0, "Velantra QX");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.programFolderReadOnly) {
            ASSERT_TRUE(QDir(configFolder).removeRecursively());
        }
        ModalBoxCloser closer;
        std::unique_ptr<KLAVInterface> window;
        {
            ReadOnlyFolder readOnly((c.programFolderReadOnly ? here : configFolder).toStdString());
            ASSERT_TRUE(readOnly.active());
            g_config = ConfigStruct();
            g_recentPath.clear();
            const bool saved = config_from_file(g_config);
            EXPECT_EQ(saved, !c.programFolderReadOnly);
            window = makeWindow();
            if (!saved) // as the program does once the window is up
                window->tellSettingsNotSaved(true);
            window->setFileChooser([](const QString &, const QString &, const QString &) {
                return QStringLiteral("/srv/bases/actes.db");
            });
            window->slot_selectDb();
            window->slot_selectDb();
        }
        ASSERT_EQ(closer.boxes().size(), 1u);
        const ModalBoxCloser::Box &box = closer.boxes()[0];
        EXPECT_EQ(box.text, "The settings cannot be saved in " +
                                QDir::toNativeSeparators(configFolder) +
                                ": that folder cannot be written. " + c.consequence);
        EXPECT_EQ(box.title, QStringLiteral("KLAV message"));
        EXPECT_EQ(box.icon, QMessageBox::Warning);
        EXPECT_TRUE(box.hasParent);
        // The window has its texts either way, and the pick is there.
        EXPECT_EQ(window->windowTitle(), QStringLiteral("KLAV Chargeur"));
        EXPECT_EQ(child<QPushButton>(*window, "browseButton")->text(), QStringLiteral("Parcourir"));
        EXPECT_EQ(comboEntries(*window), QStringList{"Velantra QX - PORT: ttyACM0"});
        EXPECT_EQ(child<QLineEdit>(*window, "dbPathEdit")->text(),
                  QStringLiteral("/srv/bases/actes.db"));
        EXPECT_TRUE(child<QPushButton>(*window, "loadButton")->isEnabled());
        EXPECT_EQ(QFileInfo::exists(configFolder), !c.programFolderReadOnly);
        if (!c.programFolderReadOnly) {
            EXPECT_EQ(WindowDriver::recentPathLine(), QString()); // the file untouched
        }
        window.reset();
        WindowDriver::resetConfig();
    }
}

// The list follows the terminals plugged in and out, by Refresh or by itself
// within a few seconds, and the chosen terminal stays chosen while it is
// there.
TEST_F(WindowTest, TheListFollowsTheCableAndKeepsTheChosenTerminal)
{
    struct Case {
        const char *name;
        bool byRefresh;
    };
    for (const Case &c : {Case{"Refresh", true}, Case{"by itself", false}}) {
        SCOPED_TRACE(c.name);
        LogCapture log;
        for (const char *port : {"ttyACM0", "ttyACM1", "ttyACM2"}) // from the case before
            QFile::remove(QString::fromStdString(tree.sysRoot() + "/class/tty/" + port));
        addTerminal(1, "Velantra QX");
        addTerminal(2, "Velantra QX");
        auto window = makeWindow();
        auto *combo = child<QComboBox>(*window, "deviceCombo");
        // Brings the list up to date, and tells whether it now has count entries.
        auto follow = [&](int count) {
            if (c.byRefresh) {
                window->slot_loadDevices();
                return combo->count() == count;
            }
            return WindowDriver::waitUntil([&] { return combo->count() == count; }, 5000);
        };
        combo->setCurrentIndex(1);
        EXPECT_EQ(combo->toolTip(), QStringLiteral("Velantra QX - PORT: ttyACM2"));

        // A terminal listed before it: the choice follows the record, not the row.
        addTerminal(0, "Velantra QX");
        ASSERT_TRUE(follow(3));
        EXPECT_EQ(combo->currentIndex(), 2);
        EXPECT_EQ(combo->currentText(), QStringLiteral("Velantra QX - PORT: ttyACM2"));
        EXPECT_EQ(combo->toolTip(), combo->currentText());

        // Nothing changed: still the same, and nothing rediscovered unasked.
        const int rediscovered = log.count("Terminals plugged in or out, devices re-enumerated");
        ASSERT_TRUE(follow(3));
        QTest::qWait(c.byRefresh ? 0 : 2 * KLAVInterface::kDeviceWatchMs);
        EXPECT_EQ(combo->currentIndex(), 2);
        EXPECT_EQ(log.count("Terminals plugged in or out, devices re-enumerated"), rediscovered);

        // The chosen terminal is gone: the first one is chosen.
        ASSERT_TRUE(QFile::remove(QString::fromStdString(tree.sysRoot() + "/class/tty/ttyACM2")));
        ASSERT_TRUE(follow(2));
        EXPECT_EQ(combo->currentIndex(), 0);
        EXPECT_EQ(combo->toolTip(), QStringLiteral("Velantra QX - PORT: ttyACM0"));

        // All gone: the hint; one back: listed and chosen.
        for (const char *port : {"ttyACM0", "ttyACM1"})
            ASSERT_TRUE(
                QFile::remove(QString::fromStdString(tree.sysRoot() + "/class/tty/" + port)));
        ASSERT_TRUE(follow(1));
        EXPECT_EQ(combo->itemText(0), QStringLiteral("No terminal: connect one"));
        addTerminal(1, "Velantra QX");
        ASSERT_TRUE(WindowDriver::waitUntil(
            [&] {
                if (c.byRefresh)
                    window->slot_loadDevices();
                return combo->currentText() == QStringLiteral("Velantra QX - PORT: ttyACM1");
            },
            5000));
    }
}

// What the fields cannot show for want of room is in their tooltips, and the
// open list is wide enough for every entry.
TEST_F(WindowTest, FullTextsInTooltipsAndAWideEnoughList)
{
    const std::string longName = "Velantra QX Slow Reader 01 00 serial 0002C4D5 of the ward";
    addTerminal(0, "Velantra QX");
    addTerminal(1, longName);
    auto window = makeWindow();
    window->show();
    auto *combo = child<QComboBox>(*window, "deviceCombo");
    const QString longEntry = QString::fromStdString(longName) + " - PORT: ttyACM1";
    ASSERT_EQ(comboEntries(*window), (QStringList{"Velantra QX - PORT: ttyACM0", longEntry}));
    for (int i = 0; i < combo->count(); ++i)
        EXPECT_EQ(combo->itemData(i, Qt::ToolTipRole).toString(), combo->itemText(i));
    combo->setCurrentIndex(1);
    EXPECT_EQ(combo->toolTip(), longEntry);
    EXPECT_GT(combo->fontMetrics().horizontalAdvance(longEntry), combo->width());

    // Open, the list shows the whole entry, whether the style widens the list
    // by itself (Fusion) or keeps it as wide as the box (Windows).
    for (const char *styleName : {"Fusion", "Windows"}) {
        SCOPED_TRACE(styleName);
        std::unique_ptr<QStyle> style(QStyleFactory::create(QString::fromLatin1(styleName)));
        ASSERT_NE(style, nullptr);
        combo->setStyle(style.get());
        combo->showPopup();
        QAbstractItemView *list = combo->view();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(list->window()));
        EXPECT_GE(list->viewport()->width(), list->fontMetrics().horizontalAdvance(longEntry));
        combo->hidePopup();
        combo->setStyle(nullptr);
    }

    auto *path = child<QLineEdit>(*window, "dbPathEdit");
    const QString deep = QStringLiteral("/srv/") + QString(170, QLatin1Char('d')) + "/actes.db";
    window->setFileChooser([&](const QString &, const QString &, const QString &) { return deep; });
    window->slot_selectDb();
    EXPECT_EQ(path->toolTip(), deep);
    path->setText(QStringLiteral("/typed/by/hand.db"));
    EXPECT_EQ(path->toolTip(), QStringLiteral("/typed/by/hand.db"));
}

TEST_F(WindowTest, ChosenDatabaseFillsThePathAndTheConfigurationFile)
{
    addTerminal(0, "Velantra QX");
    QTemporaryDir folder;
    const QString picked = folder.path() + QStringLiteral("/bases é/données.db");
    struct Call {
        QString caption, start, filter;
    };
    std::vector<Call> calls;
    QString answer = picked;

    auto window = makeWindow();
    auto *path = child<QLineEdit>(*window, "dbPathEdit");
    auto *load = child<QPushButton>(*window, "loadButton");
    EXPECT_TRUE(path->text().isEmpty());
    window->setFileChooser(
        [&](const QString &caption, const QString &start, const QString &filter) {
            calls.push_back({caption, start, filter});
            return answer;
        });

    window->slot_selectDb();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].caption, QStringLiteral("Select a database"));
    EXPECT_EQ(calls[0].start, QDir::currentPath()); // nothing recent yet
    EXPECT_EQ(calls[0].filter, QStringLiteral("Database Files (*.db)"));
    EXPECT_EQ(path->text(), picked);
    EXPECT_EQ(WindowDriver::recentPathLine(), picked); // UTF-8 in the file
    EXPECT_TRUE(load->isEnabled());

    // The next dialog starts at the last pick; giving up changes nothing.
    answer.clear();
    window->slot_selectDb();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].start, picked);
    EXPECT_EQ(path->text(), picked);
    EXPECT_EQ(WindowDriver::recentPathLine(), picked);

    // The next start shows the recent path and opens the dialog there.
    window.reset();
    g_config = ConfigStruct();
    g_recentPath.clear();
    config_from_file(g_config);
    window = makeWindow();
    EXPECT_EQ(child<QLineEdit>(*window, "dbPathEdit")->text(), picked);
    calls.clear();
    window->setFileChooser(
        [&](const QString &caption, const QString &start, const QString &filter) {
            calls.push_back({caption, start, filter});
            return QString();
        });
    window->slot_selectDb();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].start, picked);
}

// The window's own file dialog, driven as a user would: only Qt's widget
// dialog is reachable here, which is what runs without a platform theme.
TEST_F(WindowTest, QtFileDialogOpensWithCaptionFilterAndStartFolder)
{
    addTerminal(0, "Velantra QX");
    QTemporaryDir folder;
    const QString database = folder.path() + QStringLiteral("/actes.db");
    QFile(database).open(QIODevice::WriteOnly);
    g_config.RecentPath = folder.path().toStdString();
    auto window = makeWindow();

    QString title;
    QStringList filters;
    QString directory;
    const bool driven = WindowDriver::driveFileDialog(
        [&] { window->slot_selectDb(); },
        [&](QFileDialog *dialog) {
            title = dialog->windowTitle();
            filters = dialog->nameFilters();
            directory = dialog->directory().absolutePath();
            // Typed into the file name field, as a user would.
            auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            if (!name)
                return false;
            name->setText(QStringLiteral("actes.db"));
            static_cast<QDialog *>(dialog)->accept(); // as the Open button does
            return true;
        });
    EXPECT_TRUE(driven);
    EXPECT_EQ(title, QStringLiteral("Select a database"));
    EXPECT_EQ(filters, QStringList{"Database Files (*.db)"});
    EXPECT_EQ(directory, QDir(folder.path()).absolutePath());
    EXPECT_EQ(child<QLineEdit>(*window, "dbPathEdit")->text(), database);
    EXPECT_EQ(WindowDriver::recentPathLine(), database);
    EXPECT_TRUE(child<QPushButton>(*window, "loadButton")->isEnabled());
}
