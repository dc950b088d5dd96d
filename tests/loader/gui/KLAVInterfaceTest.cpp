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

#include <functional>
#include <memory>
#include <string>
#include <vector>

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
    g_recentPath = QStringLiteral("/srv/actes.db");
    // The hint fits the closed list, or in a large font ends with an
    // ellipsis; its tooltip is whole (French in the translation tests).
    const QString hint = QStringLiteral("No terminal: connect one");
    const QFont usual = QApplication::font();
    for (int pointSize : {0, 22}) {
        QFont font = usual;
        if (pointSize)
            font.setPointSize(pointSize);
        QApplication::setFont(font);
        auto window = makeWindow();
        QApplication::setFont(usual);
        auto *combo = child<QComboBox>(*window, "deviceCombo");
        const QString shown = combo->itemText(0);
        EXPECT_EQ(shown == hint, pointSize == 0) << shown.toStdString();
        EXPECT_TRUE(shown == hint ||
                    (hint.startsWith(shown.chopped(1)) && shown.endsWith(u'\u2026')));
        EXPECT_LE(combo->fontMetrics().horizontalAdvance(shown), combo->width() - 20);
        EXPECT_EQ(combo->toolTip(), hint);
    }

    LogCapture log; // a window closes the log as it goes
    auto window = makeWindow();
    ModalBoxCloser closer;
    // No terminal stands behind the hint: Load is off, even with a path.
    auto *load = child<QPushButton>(*window, "loadButton");
    EXPECT_FALSE(load->isEnabled());
    window->slot_load();
    EXPECT_FALSE(closer.waitForBoxes(1, 300));
    EXPECT_TRUE(log.has("No device selected"));
    EXPECT_FALSE(log.has("Loading thread has been started"));

    // Once a terminal is there, the hint is gone and Load comes on; then it
    // is on whenever a path is given, typed or picked.
    addTerminal(0, "Velantra QX");
    window->slot_loadDevices();
    EXPECT_EQ(comboEntries(*window), QStringList{"Velantra QX - PORT: ttyACM0"});
    auto *path = child<QLineEdit>(*window, "dbPathEdit");
    window->setFileChooser([](const QString &, const QString &, const QString &) {
        return QStringLiteral("/srv/picked.db");
    });
    const std::vector<std::pair<std::function<void()>, bool>> steps{
        {[] {}, true},
        {[&] { path->setText(QStringLiteral("  ")); }, false},
        {[&] { QTest::keyClicks(path, "/srv/typed.db"); }, true},
        {[&] { path->clear(); }, false},
        {[&] { window->slot_selectDb(); }, true},
    };
    for (size_t i = 0; i < steps.size(); ++i) {
        steps[i].first();
        EXPECT_EQ(load->isEnabled(), steps[i].second) << "step " << i;
        EXPECT_FALSE(child<QPushButton>(*window, "cancelButton")->isEnabled());
    }
}

// Rows from top to bottom, left to right; Return clicks whichever button has
// the keyboard (Load's Return is in the load tests); Ctrl+O and F5 work
// whatever the button texts, an "&" in them included.
TEST_F(WindowTest, TabFollowsTheRowsAndReturnClicksTheFocusedButton)
{
    LogCapture log;
    addTerminal(0, "Velantra QX");
    g_recentPath = QStringLiteral("/srv/actes.db"); // Load is on
    g_config.Browse = "&Open";
    g_config.Renew_devices = "";
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
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(dialogs, 2);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F5);
    EXPECT_EQ(log.count("Devices have been re-enumerated"), 2);
    ModalBoxCloser closer; // Escape asks nothing while no load runs
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(closer.waitForBoxes(1, 100));
    EXPECT_TRUE(window->isVisible());
    pressReturnOn("closeButton"); // no load runs: closes without a question
    EXPECT_FALSE(window->isVisible());
}

// Settings that cannot be saved are told once, naming the folder: at the
// start when the program folder cannot be written (the window then runs on
// the default texts), or at the first pick when only config/ cannot be.
TEST_F(WindowTest, SettingsThatCannotBeSavedAreToldOnceNamingTheFolder)
{
    const QString here = QCoreApplication::applicationDirPath();
    const QString config = here + QStringLiteral("/config");
    addTerminal(0, "Velantra QX");
    for (bool programFolder : {true, false}) {
        SCOPED_TRACE(programFolder ? "program folder read-only" : "config folder read-only");
        if (programFolder) {
            ASSERT_TRUE(QDir(config).removeRecursively());
        }
        ModalBoxCloser closer;
        std::unique_ptr<KLAVInterface> window;
        {
            ReadOnlyFolder readOnly((programFolder ? here : config).toStdString());
            ASSERT_TRUE(readOnly.active());
            g_config = ConfigStruct();
            const bool saved = config_from_file(g_config).settingsSaved;
            EXPECT_EQ(saved, !programFolder);
            window = makeWindow();
            if (!saved) // as the program does once its window is up
                window->tellSettingsNotSaved(true);
            window->setFileChooser([](const QString &, const QString &, const QString &) {
                return QStringLiteral("/srv/actes.db");
            });
            window->slot_selectDb();
            window->slot_selectDb();
        }
        ASSERT_EQ(closer.boxes().size(), 1u);
        EXPECT_TRUE(closer.boxes()[0].text.startsWith(
            "The settings cannot be saved in " + QDir::toNativeSeparators(config) +
            ": that folder cannot be written. " +
            (programFolder ? "The program runs on its default settings"
                           : "The database you chose")))
            << closer.boxes()[0].text.toStdString();
        EXPECT_EQ(child<QPushButton>(*window, "browseButton")->text(), QStringLiteral("Parcourir"));
        EXPECT_TRUE(child<QPushButton>(*window, "loadButton")->isEnabled());
        EXPECT_EQ(WindowDriver::recentPathLine(), QString()); // nothing written
        window.reset();
        WindowDriver::resetConfig();
    }
}

// The list follows the terminals plugged in and out, by Refresh or by itself
// within a few seconds, and the chosen terminal stays chosen while it is
// there.
TEST_F(WindowTest, TheListFollowsTheCableAndKeepsTheChosenTerminal)
{
    auto unplug = [&](const char *port) {
        return QFile::remove(QString::fromStdString(tree.sysRoot() + "/class/tty/" + port));
    };
    for (bool byRefresh : {true, false}) {
        SCOPED_TRACE(byRefresh ? "Refresh" : "by itself");
        addTerminal(1, "Velantra QX");
        addTerminal(2, "Velantra QX");
        auto window = makeWindow();
        auto *combo = child<QComboBox>(*window, "deviceCombo");
        // Until the list has count entries and shows (and tells) the chosen one.
        auto shows = [&](int count, const char *chosen) {
            return WindowDriver::waitUntil(
                [&] {
                    if (byRefresh)
                        window->slot_loadDevices();
                    return combo->count() == count && combo->currentText() == chosen &&
                           combo->toolTip() == chosen;
                },
                5000);
        };
        combo->setCurrentIndex(1);
        // A terminal listed before it: the choice follows the record, not the row.
        addTerminal(0, "Velantra QX");
        EXPECT_TRUE(shows(3, "Velantra QX - PORT: ttyACM2"));
        // The chosen terminal is gone: the first one is chosen.
        ASSERT_TRUE(unplug("ttyACM2"));
        EXPECT_TRUE(shows(2, "Velantra QX - PORT: ttyACM0"));
        // All gone: the hint; one back: listed and chosen.
        ASSERT_TRUE(unplug("ttyACM0") && unplug("ttyACM1"));
        EXPECT_TRUE(shows(1, "No terminal: connect one"));
        addTerminal(1, "Velantra QX");
        EXPECT_TRUE(shows(1, "Velantra QX - PORT: ttyACM1"));
        unplug("ttyACM1");
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

// The window's log line by line, with depth and markers: what opening the
// window writes, then what each action writes.
TEST_F(WindowTest, TheLogOfEachActionLineByLine)
{
    const std::vector<std::string> opening = {
        "=> KLAVDeviceManager::findSerialDevices",
        "     Device enumerating failed",
        "<= KLAVDeviceManager::findSerialDevices",
        "=> KLAVDeviceManager::findAllPCSCDevices",
        "<= KLAVDeviceManager::findAllPCSCDevices",
        "=> KLAVInterface::KLAVInterface",
        "  => KLAVInterface::addComponents",
        "    File browser has been added",
        "    QComboBox for devices has been added",
        "    File selection button has been added",
        "    Device list re-enumeration button has been added",
        "    Progressbar has been added",
        "    Button for loading cancelling has been added",
        "    Database loading button has been added",
        "    Close button has been added",
        "    PAD number selector has been added",
        "  <= KLAVInterface::addComponents",
        "  Found connected (and supported) devices",
        "  KLAVDeviceManager::getDeviceList",
        "  Device list has been shown",
        "  KLAVDeviceManager::getDeviceList",
        "<= KLAVInterface::KLAVInterface",
    };
    using Act = std::function<void(std::unique_ptr<KLAVInterface> &)>;
    struct Row {
        const char *name;
        Act act;
        std::vector<std::string> lines;
    };
    const Row rows[] = {
        {"refresh",
         [](std::unique_ptr<KLAVInterface> &window) { window->slot_loadDevices(); },
         {
             "=> KLAVInterface::slot_loadDevices",
             "  KLAVDeviceManager::getDeviceList",
             "  => KLAVDeviceManager::findSerialDevices",
             "       Device enumerating failed",
             "  <= KLAVDeviceManager::findSerialDevices",
             "  => KLAVDeviceManager::findAllPCSCDevices",
             "  <= KLAVDeviceManager::findAllPCSCDevices",
             "  KLAVDeviceManager::getDeviceList",
             "  Devices have been re-enumerated",
             "  Devices pushed into combo",
             "  KLAVDeviceManager::getDeviceList",
             "<= KLAVInterface::slot_loadDevices",
         }},
        {"load without a terminal",
         [](std::unique_ptr<KLAVInterface> &window) { window->slot_load(); },
         {
             "=> KLAVInterface::slot_load",
             "  KLAVDeviceManager::getDeviceList",
             "  List of devices has been obtained",
             "     No device selected",
             "<= KLAVInterface::slot_load",
         }},
        {"progress",
         [](std::unique_ptr<KLAVInterface> &window) { window->slot_showProgress(40); },
         {
             "=> KLAVInterface::slot_showProgress",
             "<= KLAVInterface::slot_showProgress",
         }},
        {"no file chosen",
         [](std::unique_ptr<KLAVInterface> &window) {
             window->setFileChooser(
                 [](const QString &, const QString &, const QString &) { return QString(); });
             window->slot_selectDb();
         },
         {
             "=> KLAVInterface::slot_selectDb",
             "  KLAVDeviceManager::getDeviceList",
             "<= KLAVInterface::slot_selectDb",
         }},
        // The window closes the log as it goes: its exit line is the last.
        {"destroyed",
         [](std::unique_ptr<KLAVInterface> &window) { window.reset(); },
         {
             "=> KLAVInterface::~KLAVInterface",
             "  Logging has been finished",
             "<= KLAVInterface::~KLAVInterface",
         }},
        // Close closes the log before the window goes: nothing follows.
        {"Close button",
         [](std::unique_ptr<KLAVInterface> &window) {
             window->slot_close();
             window.reset();
         },
         {
             "=> KLAVInterface::slot_close",
         }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        LogCapture log;
        auto window = makeWindow();
        row.act(window);
        std::vector<std::string> lines;
        for (const std::string &line : log.lines())
            lines.push_back(line.substr(line.find(" - KLAVLD ") + 10));
        ASSERT_GE(lines.size(), 1 + opening.size());
        const auto actionStart = lines.begin() + 1 + long(opening.size());
        EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, actionStart), opening);
        EXPECT_EQ(std::vector<std::string>(actionStart, lines.end()), row.lines);
    }
}
