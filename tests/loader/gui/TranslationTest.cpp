// The French translation: complete for every text the program translates,
// compiled beside the program by the build, and used by the window; Qt's own
// texts (file dialog, standard buttons) in French as well.

#include "LogCapture.h"
#include "SysfsTree.h"
#include "WindowDriver.h"

#include "base/KLAVConfig.h"
#include "gui/KLAVInterface.h"
#include "gui/KLAVQtTranslator.h"
#include "load/KLAVLoadResult.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTranslator>

#include <gtest/gtest.h>

#include <vector>

namespace {

const QString kSourceDir = QStringLiteral(KLAV_SOURCE_DIR);
const QString kTsFile = kSourceDir + QStringLiteral("/loader/resources/lang/quillbox_fr_FR.ts");

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Installs the compiled French translation for one test.
class FrenchTranslation {
public:
    FrenchTranslation()
    {
        loaded =
            translator.load(QStringLiteral(KLAV_LANG_DIR) + QStringLiteral("/quillbox_fr_FR.qm"));
        QCoreApplication::installTranslator(&translator);
    }
    ~FrenchTranslation() { QCoreApplication::removeTranslator(&translator); }
    bool loaded = false;

private:
    QTranslator translator;
};

} // namespace

// Running the translation scanner over the sources must find nothing new,
// nothing gone and nothing untranslated in the committed file.
TEST(TranslationTest, FrenchFileCoversEveryTranslatedText)
{
    const QString lupdate = QStandardPaths::findExecutable(QStringLiteral("lupdate"));
    if (lupdate.isEmpty())
        GTEST_SKIP() << "lupdate is not installed (qttools5-dev-tools)";
    QTemporaryDir folder;
    const QString copy = folder.filePath(QStringLiteral("check.ts"));
    ASSERT_TRUE(QFile::copy(kTsFile, copy));
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);

    QProcess scan;
    scan.setProcessChannelMode(QProcess::MergedChannels);
    QStringList args{"-locations", "none", "-no-obsolete", "-target-language", "fr_FR"};
    for (const char *dir : {"app", "base", "load", "gui", "port"})
        args << kSourceDir + QStringLiteral("/loader/") + QLatin1String(dir);
    args << "-ts" << copy;
    scan.start(lupdate, args);
    ASSERT_TRUE(scan.waitForFinished(60000)) << "lupdate did not finish";
    ASSERT_EQ(scan.exitCode(), 0) << scan.readAll().toStdString();

    const QByteArray scanned = readAll(copy);
    EXPECT_FALSE(scanned.contains("type=\"unfinished\""));
    EXPECT_EQ(scanned, readAll(kTsFile)) << "the translation file is out of date with the sources";
}

TEST(TranslationTest, FrenchDesktopSeesFrenchTexts)
{
    WindowDriver::resetConfig();
    const std::vector<int> codes{LOAD_OK,
                                 LOAD_NOT_COHERENT,
                                 LOAD_FILE_NOT_OPENED,
                                 LOAD_INIT_FAILED,
                                 LOAD_NACK_INCOMPLETE,
                                 LOAD_BLOCK_REFUSED,
                                 LOAD_ENDING_FAILED,
                                 LOAD_CANCELLED,
                                 LOAD_NO_RESPONSE};
    std::vector<QString> english;
    for (int code : codes)
        english.push_back(KLAVInterface::resultText(code));

    FrenchTranslation french;
    ASSERT_TRUE(french.loaded);
    for (size_t i = 0; i < codes.size(); ++i) {
        const QString text = KLAVInterface::resultText(codes[i]);
        EXPECT_FALSE(text.isEmpty()) << codes[i];
        EXPECT_NE(text, english[i]) << codes[i];
    }
    EXPECT_EQ(KLAVInterface::resultText(LOAD_NACK_INCOMPLETE),
              QStringLiteral("Un NACK incomplet a été reçu"));
    EXPECT_EQ(KLAVInterface::resultText(LOAD_REQUEST_REFUSED), QString());
    for (const char *text : {"Loading request failed - error : ", "A NACK was received : ",
                             "Timeout when sending data"})
        EXPECT_NE(QCoreApplication::translate("KLAVThread", text), QString::fromLatin1(text))
            << text;
    EXPECT_EQ(QCoreApplication::translate("QObject", "KLAV message"),
              QStringLiteral("Message KLAV"));

    // The window's own boxes and dialog texts.
    SysfsTree tree;
    SysfsTree::UsbTty tty;
    tty.idVendor = std::string("0c59");
    tty.idProduct = std::string("0012");
    tree.addUsbTty(tty);
    KLAVInterface window(UsbTtyEnumerator(tree.sysRoot(), tree.devRoot()));
    QString caption, filter;
    window.setFileChooser([&](const QString &c, const QString &, const QString &f) {
        caption = c;
        filter = f;
        return QStringLiteral("/nowhere/at/all.db");
    });
    window.slot_selectDb();
    EXPECT_EQ(caption, QStringLiteral("Sélectionner une base de données"));
    EXPECT_EQ(filter, QStringLiteral("Bases de données (*.db)"));

    ModalBoxCloser closer;
    window.findChild<QPushButton *>(QStringLiteral("loadButton"))->click();
    ASSERT_TRUE(closer.waitForBoxes(1, 10000));
    EXPECT_EQ(closer.boxes()[0].title, QStringLiteral("Message KLAV"));
    EXPECT_EQ(closer.boxes()[0].text,
              QStringLiteral("Le fichier de la base de données n'existe pas"));
}

// Under a French locale the window's file dialog and the buttons of its
// question speak French too, from Qt's own translation; the window's new
// texts are in the French file.
TEST(TranslationTest, QtOwnTextsFollowTheLocale)
{
    WindowDriver::resetConfig();
    FrenchTranslation french;
    ASSERT_TRUE(french.loaded);
    KLAVQtTranslator qt;
    ASSERT_TRUE(qt.install(QLocale(QStringLiteral("fr_FR"))));
    EXPECT_TRUE(qt.fileName().endsWith(QStringLiteral("qtbase_fr.qm")))
        << qt.fileName().toStdString();

    SysfsTree tree; // no terminal: the list holds its hint, which fits
    KLAVInterface window(UsbTtyEnumerator(tree.sysRoot(), tree.devRoot()));
    auto *combo = window.findChild<QComboBox *>(QStringLiteral("deviceCombo"));
    const QString hint = QStringLiteral("Branchez un terminal");
    EXPECT_EQ(combo->itemText(0), hint);
    EXPECT_EQ(combo->toolTip(), hint);
    EXPECT_LE(combo->fontMetrics().horizontalAdvance(hint), combo->width() - 20);
    for (const char *text : {"A load is in progress. Stop it and quit?", "Stop the load?"})
        EXPECT_NE(QCoreApplication::translate("KLAVInterface", text), QString::fromLatin1(text));
    EXPECT_EQ(
        QCoreApplication::translate("KLAVInterface", "A load is in progress. Stop it and quit?"),
        QStringLiteral("Un chargement est en cours. L'arrêter et quitter ?"));
    EXPECT_EQ(QCoreApplication::translate("KLAVInterface", "Stop the load?"),
              QStringLiteral("Arrêter le chargement ?"));

    // The window's own dialog (Qt's widget dialog, as without a platform
    // theme): its labels and buttons, then given up.
    QString title, lookIn, fileName;
    QStringList buttons;
    EXPECT_TRUE(WindowDriver::driveFileDialog(
        [&] { window.slot_selectDb(); },
        [&](QFileDialog *dialog) {
            auto *look = dialog->findChild<QLabel *>(QStringLiteral("lookInLabel"));
            auto *name = dialog->findChild<QLabel *>(QStringLiteral("fileNameLabel"));
            auto *buttonBox = dialog->findChild<QDialogButtonBox *>();
            if (!look || !name || !buttonBox)
                return false;
            title = dialog->windowTitle();
            lookIn = look->text();
            fileName = name->text();
            for (QAbstractButton *button : buttonBox->buttons())
                buttons << button->text();
            dialog->reject();
            return true;
        }));
    EXPECT_EQ(title, QStringLiteral("Sélectionner une base de données"));
    EXPECT_EQ(lookIn, QStringLiteral("Voir dans :"));
    EXPECT_EQ(fileName, QStringLiteral("&Nom de fichier :"));
    buttons.sort();
    EXPECT_EQ(buttons, (QStringList{"&Ouvrir", "Annuler"}));

    // The standard Yes and No of the question.
    QMessageBox box(QMessageBox::Question, QString(), QString(),
                    QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QStringLiteral("&Oui"));
    EXPECT_EQ(box.button(QMessageBox::No)->text(), QStringLiteral("&Non"));
}
