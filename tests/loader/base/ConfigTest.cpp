// Configuration file: the default file, validity counting, prefix matching,
// long lines, the log left to the entry, the backup of an invalid file and
// the atomic rewrite of RecentPath.

#include "StreamCapture.h"
#include "base/KLAVConfig.h"
#include "base/KLAVLog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace {

// The default file as users know it, kept here independently of the code.
const char *const kDefaultLines[58] = {
    "#Fichier de configuration de l'application KLAV.",
    "#ce fichier doit être encodé en UTF8",
    "",
    "#Commentaire: option du log (log est activé si 1, désactivé si 0)",
    "&LogOption=0",
    "",
    "#Commentaire: répertoire pour le fichier log",
    "#si \".\" les logs sont dans \"Documents/KLAVCharger\" sous Windows et ",
    "# ~/Library/Application Support/KLAVCharger sous Mac",
    "#",
    "&LogPath=.",
    "",
    "#Commentaire: répertoire par défaut pour la sélection de la base de données. Il sera "
    "automatiquement mis à jour.",
    "&RecentPath=",
    "",
    "#Commentaire: nom de l'application",
    "&ApplicationName=KLAV Chargeur",
    "",
    "#Commentaire: Texte explicatif. Chaque ligne commence par '&ExplicativeText='. Ecrire "
    "'&ExplicativeText=[TAB]' pour faire un tab.",
    "&ExplicativeText=Bienvenue à KLAV Chargeur !",
    "&ExplicativeText=[TAB]",
    "&ExplicativeText=1. Cliquer sur 'Parcourir' pour choisir une base de données (.db)",
    "&ExplicativeText=2. Choisir un périphérique dans 'Périphériques' (Cliquer sur 'Rafraîchir' si "
    "besoin)",
    "&ExplicativeText=3. Choisir un numéro de PAD",
    "&ExplicativeText=4. Cliquer sur 'Charger'",
    "",
    "#Commentaire: texte explicatif pour la base de données",
    "&Database_file=Base de données",
    "",
    "#Commentaire: texte explicatif pour le bouton 'Parcourir'",
    "&Browse=Parcourir",
    "",
    "#Commentaire: texte explicatif pour la liste des périphériques",
    "&Device_list=Périphériques",
    "",
    "#Commentaire: texte sur le bouton 'Charger'",
    "&Button_load=Charger",
    "",
    "#Commentaire: texte explicatif pour le choix du numéro PAD",
    "&PAD_number=Numéro de PAD",
    "",
    "#Commentaire: texte explicatif pour le progrès du chargement",
    "&Loading_progress=Progrès du chargement",
    "",
    "#Commentaire: texte sur le bouton 'Annuler'",
    "&Cancel=Annuler",
    "",
    "#Commentaire: texte sur le bouton 'Rafraîchir'",
    "&Renew_devices=Rafraîchir",
    "",
    "#Commentaire: texte sur le bouton 'Fermer l'application'",
    "&Close_application=Fermer",
    "",
    "#Commentaire: VID et PID des périphériques supportés",
    "&VID=0c59",
    "&PID=0012",
    "&VID=0c59",
    "&PID=0012",
};

std::string expectedDefaultFile()
{
    std::string text;
    for (int i = 0; i < 58; ++i) {
        text += kDefaultLines[i];
        if (i < 57)
            text += '\n';
    }
    return text;
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const std::string &path, const std::string &content)
{
    std::ofstream(path, std::ios::binary) << content;
}

// The thirteen counted text settings, each once, with the given help lines.
std::string minimalValidFile(int helpLines)
{
    std::string text = "&LogOption=0\n&LogPath=.\n&RecentPath=\n&ApplicationName=App\n"
                       "&Database_file=Db\n&Browse=B\n&Device_list=D\n&Button_load=L\n"
                       "&PAD_number=P\n&Loading_progress=Lp\n&Cancel=C\n&Renew_devices=R\n"
                       "&Close_application=X\n";
    for (int i = 0; i < helpLines; ++i)
        text += "&ExplicativeText=line " + std::to_string(i) + "\n";
    return text;
}

class ConfigTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        folder = dir.path().toStdString() + "/config";
        file = folder + "/KLAV_init.ini";
        g_config = ConfigStruct();
        g_recentPath.clear();
    }
    void TearDown() override { closeLogFile(); }

    ConfigReading load(const std::string &content)
    {
        QDir().mkpath(QString::fromStdString(folder));
        writeFile(file, content);
        return configFromFolder(g_config, folder);
    }

    QTemporaryDir dir;
    std::string folder;
    std::string file;
};

// The default file is a resource compiled into the library: every program
// linking it has the whole file, 58 lines, the last without a line end.
TEST(DefaultConfig, TheCompiledInFileIsTheDefaultUsersKnow)
{
    const std::string &text = defaultConfigText();
    EXPECT_EQ(text, expectedDefaultFile());
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 57);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), '\n');
    EXPECT_EQ(text.rfind("#Fichier de configuration de l'application KLAV.\n", 0), 0u);
    const std::string devices = "\n&VID=0c59\n&PID=0012\n&VID=0c59\n&PID=0012";
    ASSERT_GT(text.size(), devices.size());
    EXPECT_EQ(text.substr(text.size() - devices.size()), devices);
}

TEST_F(ConfigTest, FirstStartWritesTheDefaultFileByteForByteAndLoadsIt)
{
    const ConfigReading reading = configFromFolder(g_config, folder);
    EXPECT_EQ(readFile(file), expectedDefaultFile());
    EXPECT_TRUE(reading.settingsSaved);
    EXPECT_FALSE(reading.fileWasInvalid);
    EXPECT_EQ(reading.backup, "");
    EXPECT_EQ(g_config.ApplicationName, "KLAV Chargeur");
    EXPECT_EQ(g_config.ExplicativeText.size(), 6u);
    EXPECT_EQ(g_config.ExplicativeText[1], "[TAB]");
    EXPECT_EQ(g_config.supportedDeviceCount(), 2u);
    EXPECT_EQ(g_config.VID[1], "0c59");
    EXPECT_EQ(g_config.PID[1], "0012");
    EXPECT_EQ(g_config.LogOption, "0");
    EXPECT_EQ(g_config.LogPath, ".");
    EXPECT_EQ(g_config.RecentPath, ""); // "&RecentPath=" is an empty tag
    EXPECT_EQ(g_config.Close_application, "Fermer");
    EXPECT_EQ(g_config.Device_list, "Périphériques");
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(file + ".bak")));
}

TEST_F(ConfigTest, ValidityCountsThirteenKeysAndOneHelpLine)
{
    EXPECT_TRUE(checkConfigFile(file) == false); // missing file
    QDir().mkpath(QString::fromStdString(folder));

    writeFile(file, minimalValidFile(1));
    EXPECT_TRUE(checkConfigFile(file));
    writeFile(file, minimalValidFile(0));
    EXPECT_FALSE(checkConfigFile(file)); // 13
    // Many help lines still add one: drop Cancel, 12 + 1 = 13.
    std::string noCancel = minimalValidFile(5);
    noCancel.erase(noCancel.find("&Cancel=C\n"), 10);
    writeFile(file, noCancel);
    EXPECT_FALSE(checkConfigFile(file));
    // A repeated key counts each time; VID, PID and copyright never count.
    writeFile(file, noCancel + "&Browse=again\n");
    EXPECT_TRUE(checkConfigFile(file));
    writeFile(file, noCancel + "&VID=1\n&PID=2\n&copyright=c\n&Log=1\n&Cancel =x\n");
    EXPECT_FALSE(checkConfigFile(file));
    std::string fourteen;
    for (int i = 0; i < 14; ++i)
        fourteen += "&LogOption=0\n";
    writeFile(file, fourteen);
    EXPECT_TRUE(checkConfigFile(file));
}

TEST_F(ConfigTest, AFileOfOneRepeatedKeyIsValidAndLeavesOtherTextsEmpty)
{
    std::string fourteen;
    for (int i = 0; i < 14; ++i)
        fourteen += "&LogOption=0\n";
    load(fourteen);
    EXPECT_EQ(readFile(file), fourteen);
    EXPECT_EQ(g_config.LogOption, "0");
    EXPECT_EQ(g_config.ApplicationName, "");
    EXPECT_TRUE(g_config.ExplicativeText.empty());
}

TEST_F(ConfigTest, InvalidFileIsKeptAsBackupThenReplacedByTheDefault)
{
    std::string noCancel = minimalValidFile(2);
    noCancel.erase(noCancel.find("&Cancel=C\n"), 10);
    QDir().mkpath(QString::fromStdString(folder));
    writeFile(folder + "/KLAV_init.ini.bak", "an older backup");
    ConfigReading reading = load(noCancel);
    EXPECT_TRUE(reading.fileWasInvalid);
    EXPECT_TRUE(reading.settingsSaved);
    EXPECT_EQ(reading.backup, file + ".bak2");
    EXPECT_EQ(readFile(file + ".bak"), "an older backup"); // a different backup is never replaced
    EXPECT_EQ(readFile(file + ".bak2"), noCancel);
    EXPECT_EQ(readFile(file), expectedDefaultFile());
    EXPECT_EQ(g_config.ApplicationName, "KLAV Chargeur");

    // The reading tells what it did and shows nothing: the entry does.
    rdrload::testing::StreamCapture out(stdout);
    reading = load("&ApplicationName=mine\n");
    EXPECT_EQ(out.release(), "");
    EXPECT_TRUE(reading.fileWasInvalid);
    EXPECT_EQ(reading.backup, file + ".bak3");
    EXPECT_EQ(readFile(file + ".bak3"), "&ApplicationName=mine\n");
    EXPECT_EQ(readFile(file), expectedDefaultFile());
    // The same invalid file again takes the backup that already holds it.
    reading = load(noCancel);
    EXPECT_EQ(reading.backup, file + ".bak2");
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(file + ".bak4")));
    EXPECT_EQ(readFile(file + ".bak2"), noCancel);
    // The default in place is valid: nothing to tell at the next start.
    reading = configFromFolder(g_config, folder);
    EXPECT_FALSE(reading.fileWasInvalid);
    EXPECT_EQ(reading.backup, "");
}

TEST_F(ConfigTest, AByteOrderMarkIsReadPastAndKeptOnRewrite)
{
    const std::string bom = "\xEF\xBB\xBF";
    const std::string marked = bom + minimalValidFile(1);
    load(marked);
    EXPECT_EQ(readFile(file), marked);  // valid: not replaced
    EXPECT_EQ(g_config.LogOption, "0"); // the first line, behind the mark
    EXPECT_EQ(g_config.ApplicationName, "App");
    ASSERT_TRUE(rewriteRecentPath(file, "/new"));
    EXPECT_EQ(readFile(file).substr(0, 3 + 13), bom + "&LogOption=0\n");
}

TEST_F(ConfigTest, KeysMatchAnyLeadingPartOfANameInTableOrder)
{
    const std::string base = minimalValidFile(1);
    load(base +
         "&Log=1\n&Lo=progress\n&=recent\n&Cancel =ignored\n&A=a=b=c\n&Nothing=x\n&Cancel=\n");
    EXPECT_EQ(g_config.LogOption, "1");               // "Log" -> LogOption
    EXPECT_EQ(g_config.Loading_progress, "progress"); // "Lo" -> Loading_progress
    EXPECT_EQ(g_config.RecentPath, "recent");         // "" -> RecentPath
    EXPECT_EQ(g_recentPath, QString("recent"));
    EXPECT_EQ(g_config.Cancel, "C");              // blank before "=", then empty value
    EXPECT_EQ(g_config.ApplicationName, "a=b=c"); // further "=" belong to the value
}

TEST_F(ConfigTest, LinesAreReadWholeAndOverlongValuesAreRefused)
{
    const std::string path200(200, 'p');
    const std::string value255(255, 'v');
    const std::string value256(256, 'w');
    load(minimalValidFile(1) + "&RecentPath=" + path200 + "\n&Browse=" + value255 +
         "\n&Device_list=" + value256 + "\n&VID=" + value256 +
         "\n&VID=1\n&VID=2\n&PID=3\n&PID=4\n");
    EXPECT_EQ(g_config.RecentPath, path200);
    EXPECT_EQ(g_config.Browse, value255);
    EXPECT_EQ(g_config.Device_list, "D"); // kept from the earlier line
    ASSERT_EQ(g_config.VID.size(), 2u);   // three VID lines, one refused
    EXPECT_EQ(g_config.supportedDeviceCount(), 2u);
}

TEST_F(ConfigTest, CrLfLinesAreRead)
{
    std::string text = minimalValidFile(1);
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2))
        text.replace(at, 1, "\r\n");
    load(text);
    EXPECT_EQ(g_config.Close_application, "X");
    EXPECT_EQ(g_config.ExplicativeText.at(0), "line 0");
}

// Reading the settings that switch the log on opens no log: the entry opens
// it from them once the whole file is read (see the startup tests).
TEST_F(ConfigTest, ReadingTheLogSettingsOpensNoLog)
{
    const std::string logFolder = dir.path().toStdString();
    std::string text = minimalValidFile(1);
    text.replace(text.find("&LogOption=0\n&LogPath=.\n"), 24,
                 "&LogOption=1\n&LogPath=" + logFolder + "\n");
    load(text);
    printConfig(g_config);
    EXPECT_EQ(g_config.LogOption, "1");
    EXPECT_EQ(g_config.LogPath, logFolder);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("logKLAV.txt")));
    EXPECT_EQ(logFilePath(), "");
}

TEST_F(ConfigTest, RecentPathRewriteKeepsEveryOtherLineAndReplacesTheFile)
{
    configFromFolder(g_config, folder);
    struct stat before {};
    ASSERT_EQ(stat(file.c_str(), &before), 0);
    ASSERT_TRUE(rewriteRecentPath(file, "C:/Users/Tech/Bases de données"));
    std::string expected = expectedDefaultFile() + "\n";
    expected.replace(expected.find("&RecentPath=\n"), 13,
                     "&RecentPath=C:/Users/Tech/Bases de données\n");
    EXPECT_EQ(readFile(file), expected);
    // Written beside and renamed over: a new inode, no temporary file left.
    struct stat after {};
    ASSERT_EQ(stat(file.c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino);
    // Beside the file only the lock that runs started together share.
    EXPECT_EQ(QDir(QString::fromStdString(folder)).entryList(QDir::Files),
              QStringList({"KLAV_init.ini", "KLAV_init.lock"}));
    // The record in memory keeps its old value.
    EXPECT_EQ(g_config.RecentPath, "");

    // Read whole at the next start, however long.
    const std::string deep = "C:/" + std::string(230, 'd');
    ASSERT_TRUE(rewriteRecentPath(file, deep));
    configFromFolder(g_config, folder);
    EXPECT_EQ(g_config.RecentPath, deep);

    // Nothing to read: nothing written.
    EXPECT_FALSE(rewriteRecentPath(folder + "/absent.ini", "x"));
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(folder + "/absent.ini")));
}

} // namespace
