#include "KLAVStartup.h"

#include "base/KLAVLog.h"

#include <cstdio>

void startFromConfiguration(const ConfigStruct &config, const ConfigReading &reading,
                            bool consoleMode, const std::function<void()> &showInvalidConfigBox)
{
    openLogFile(config.LogOption, config.LogPath);
    tellInvalidConfig(reading, consoleMode, showInvalidConfigBox);
    printConfig(config);
}

void tellInvalidConfig(const ConfigReading &reading, bool consoleMode,
                       const std::function<void()> &showInvalidConfigBox)
{
    if (!reading.fileWasInvalid)
        return;
    if (!consoleMode) {
        if (showInvalidConfigBox)
            showInvalidConfigBox();
        return;
    }
    if (reading.backup.empty())
        return;
    std::printf("\nConfig file not valid: replaced by the default file, the invalid file is kept "
                "as %s",
                reading.backup.c_str());
    std::fflush(stdout);
}
