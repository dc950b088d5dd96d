// The start of a run once the configuration is read: the log it names holds
// the whole reading whatever the order of its keys, and the user hears of an
// invalid file as the mode shows things.

#include "StreamCapture.h"
#include "app/KLAVStartup.h"
#include "base/KLAVLog.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace {

// The text after "dd/mm/yyyy HHhMMmSSs - " of every line of the file.
std::vector<std::string> logTexts(const std::string &path)
{
    std::ifstream in(path);
    std::vector<std::string> texts;
    for (std::string line; std::getline(in, line);) {
        const size_t at = line.find(" - ");
        texts.push_back(at == std::string::npos ? line : line.substr(at + 3));
    }
    return texts;
}

// Wherever LogOption and LogPath stand in the file, the log of the start has
// the first line naming it, then the whole reading, then the settings.
TEST(Startup, TheLogHoldsTheWholeReadingWhateverTheOrderOfTheLogKeys)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string folder = dir.path().toStdString();
    const std::string configFolder = folder + "/config";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(configFolder)));
    const std::string option = "&LogOption=1\n";
    const std::string path = "&LogPath=" + folder + "\n";
    const std::string others = "&RecentPath=\n&ApplicationName=App\n&Database_file=Db\n"
                               "&Browse=B\n&Device_list=D\n&Button_load=L\n&PAD_number=P\n"
                               "&Loading_progress=Lp\n&Cancel=C\n&Renew_devices=R\n"
                               "&Close_application=X\n&ExplicativeText=line 0\n&Device_list=" +
                               std::string(300, 'z') + "\n";
    struct Case {
        const char *name;
        std::string file;
    };
    const Case cases[] = {
        {"LogOption before LogPath, first", option + path + others},
        {"LogPath before LogOption", path + option + others},
        {"both after every other setting", others + option + path},
        {"LogPath first, LogOption last", path + others + option},
    };
    const std::string log = folder + "/logKLAV.txt";
    std::vector<std::string> firstSorted;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(configFolder + "/KLAV_init.ini", std::ios::binary) << c.file;

        holdLogLinesUntilOpened();
        ConfigStruct config;
        const ConfigReading reading = configFromFolder(config, configFolder);
        int boxes = 0;
        rdrload::testing::StreamCapture out(stdout);
        startFromConfiguration(config, reading, true, [&boxes] { ++boxes; });
        EXPECT_EQ(out.release(), "");
        EXPECT_EQ(boxes, 0);
        closeLogFile();

        const std::vector<std::string> texts = logTexts(log);
        ASSERT_GE(texts.size(), 2u);
        EXPECT_EQ(texts[0], "KLAVLD parse_variable : g_logfileStream = " + log);
        EXPECT_EQ(texts[1], "KLAVLD => config_from_file");
        const std::vector<std::string> once = {
            "KLAVLD     parse_variable : logOption = 1 (1)",
            "KLAVLD     parse_variable : logPath = " + folder + " (" + folder + ")",
            "KLAVLD     parse_variable : Load = L (L)",
            "KLAVLD        parse_variable : Device_list failed",
            "KLAVLD   file " + configFolder + "/KLAV_init.ini",
            "KLAVLD <= config_from_file",
            "KLAVLD => printConfig",
            "KLAVLD   0 supported device(s)",
            "KLAVLD   ExplicativeText=line 0",
        };
        for (const std::string &line : once)
            EXPECT_EQ(std::count(texts.begin(), texts.end(), line), 1) << line;
        EXPECT_EQ(texts.back(), "KLAVLD <= printConfig");

        // The same lines as with any other order, only their order differs.
        std::vector<std::string> sorted = texts;
        std::sort(sorted.begin(), sorted.end());
        if (firstSorted.empty())
            firstSorted = sorted;
        EXPECT_EQ(sorted, firstSorted);
    }
}

// What the entry tells of the reading: the console line in console mode
// (when the file was kept), the box in graphical mode, nothing for a valid
// file.
TEST(Startup, AnInvalidFileIsToldAsTheModeShowsThings)
{
    const std::string line = "\nConfig file not valid: replaced by the default file, the invalid "
                             "file is kept as /p/config/KLAV_init.ini.bak2";
    struct Case {
        const char *name;
        bool consoleMode;
        bool invalid;
        const char *backup;
        std::string printed;
        int boxes;
    };
    const Case cases[] = {
        {"valid, console", true, false, "", "", 0},
        {"valid, window", false, false, "", "", 0},
        {"invalid and kept, console", true, true, "/p/config/KLAV_init.ini.bak2", line, 0},
        {"invalid and kept, window", false, true, "/p/config/KLAV_init.ini.bak2", "", 1},
        {"invalid, not kept, console", true, true, "", "", 0},
        {"invalid, not kept, window", false, true, "", "", 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ConfigReading reading;
        reading.settingsSaved = true;
        reading.fileWasInvalid = c.invalid;
        reading.backup = c.backup;
        int boxes = 0;
        rdrload::testing::StreamCapture out(stdout);
        tellInvalidConfig(reading, c.consoleMode, [&boxes] { ++boxes; });
        EXPECT_EQ(out.release(), c.printed);
        EXPECT_EQ(boxes, c.boxes);
    }
}

} // namespace
