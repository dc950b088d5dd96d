#pragma once
// The start of a run once the configuration is read, the same in both modes:
// the log it names is opened, the user is told when the file was invalid,
// the settings are written to the log. The entry asks the log to hold its
// lines before it reads the configuration, so the log of a start has the
// reading too, whatever the order of LogOption and LogPath in the file.

#include "base/KLAVConfig.h"

#include <functional>

// Opens the log from config's LogOption and LogPath (openLogFile: the lines
// held until then come first), tells the user what reading found
// (tellInvalidConfig), then writes the settings to the log (printConfig).
void startFromConfiguration(const ConfigStruct &config, const ConfigReading &reading,
                            bool consoleMode, const std::function<void()> &showInvalidConfigBox);

// Nothing when the file was valid. An invalid file: in console mode one line
// names where it is kept, "\nConfig file not valid: replaced by the default
// file, the invalid file is kept as <backup>" (none when it could not be
// kept, and so was not replaced); in graphical mode showInvalidConfigBox is
// called, before the window is shown, whether it was kept or not.
void tellInvalidConfig(const ConfigReading &reading, bool consoleMode,
                       const std::function<void()> &showInvalidConfigBox);
