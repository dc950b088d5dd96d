// Feeds arbitrary bytes to the configuration reader as a whole file and
// checks that what it stores keeps within its limits and that it always
// leaves a valid file behind.

#include "app/KLAVCommandLine.h"
#include "base/KLAVConfig.h"

#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    static const std::string folder = dir.path().toStdString() + "/config";
    g_consoleMode = true;
    // A folder afresh for each input: the backups of earlier invalid inputs
    // would fill the backup names, and an invalid file that cannot be kept is
    // rightly left in place.
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    {
        std::ofstream out(folder + "/KLAV_init.ini", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(data), std::streamsize(size));
    }
    ConfigStruct config;
    configFromFolder(config, folder);
    auto fits = [](const std::string &text) { return text.size() <= kConfigValueMax; };
    for (const std::string *text : {&config.RecentPath, &config.LogPath, &config.ApplicationName,
                                    &config.Cancel, &config.LogOption, &config.copyright})
        if (!fits(*text))
            std::abort();
    for (const auto *list : {&config.VID, &config.PID, &config.ExplicativeText})
        for (const std::string &entry : *list)
            if (!fits(entry))
                std::abort();
    if (!checkConfigFile(folder + "/KLAV_init.ini"))
        std::abort();
    return 0;
}
