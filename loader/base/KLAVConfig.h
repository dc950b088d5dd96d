#pragma once
// Configuration file "config/KLAV_init.ini" beside the executable: window
// texts, supported terminals (VID/PID pairs), log switch and folder, and the
// folder of the last database picked. UTF-8, one "&key=value" setting a line.

#include <QString>

#include <algorithm>
#include <string>
#include <vector>

struct ConfigStruct {
    std::string RecentPath;
    std::string LogPath;
    std::string ApplicationName;
    std::string Database_file;
    std::string Browse;
    std::string Device_list;
    std::string Button_load;
    std::string PAD_number;
    std::string Loading_progress;
    std::string Cancel;
    std::string Renew_devices;
    std::string Close_application;
    std::string copyright;
    std::string LogOption;
    std::vector<std::string> VID;
    std::vector<std::string> PID;
    std::vector<std::string> ExplicativeText;

    // Number of supported terminals: entries without a partner are ignored.
    size_t supportedDeviceCount() const { return std::min(VID.size(), PID.size()); }
};

extern ConfigStruct g_config;
extern QString g_recentPath; // RecentPath decoded from UTF-8

// Longest value a text field or list entry holds, in bytes.
constexpr size_t kConfigValueMax = 255;

// What reading the configuration found, for the entry to tell the user:
// reading it shows and prints nothing itself.
struct ConfigReading {
    // True when the settings come from the file, which a new RecentPath will
    // be saved into; false when no valid file could be put in place (the
    // folder cannot be written, or an invalid file could not be kept and is
    // left as it is): the record then holds the default settings, read from
    // memory, and nothing will be saved.
    bool settingsSaved = false;
    // True when the file found was invalid.
    bool fileWasInvalid = false;
    // Where the invalid file was kept before the default replaced it; empty
    // when the file was valid or could not be kept.
    std::string backup;
};

// Makes sure "config/KLAV_init.ini" beside the executable exists and is
// valid, then fills the record from it. An invalid file is kept as
// "KLAV_init.ini.bak" (".bak2", ... when an earlier, different backup is
// there) and the default file replaces it. Runs of the program started at
// once take turns: the check, the backup and the default are written under
// the lock file "config/KLAV_init.lock". A UTF-8 byte-order mark before the
// first line is read past. Writes to the log, but never opens it: the entry
// does, from the LogOption and LogPath read here.
ConfigReading config_from_file(ConfigStruct &config);

// The same, for the "config" folder given (created when missing).
ConfigReading configFromFolder(ConfigStruct &config, const std::string &folder);

// True when the file holds at least 14 counted setting lines.
bool checkConfigFile(const std::string &path);

// Writes the default file at path, replacing any file there atomically.
bool createConfigFile(const std::string &path);

// Stores one setting line ("&key=value", line end removed) into the record.
void parse_variable(const std::string &line, ConfigStruct &config);

// Writes the record to the log.
void printConfig(const ConfigStruct &config);

// Rewrites every "&RecentPath=" line of the configuration file beside the
// executable with newRecentPath. g_config is left as it is. False when the
// file could not be read or rewritten (it is then untouched).
bool writeConfig(std::string newRecentPath);

// The same, for the file at path. False (file untouched) when it cannot be
// read or the new content cannot be written.
bool rewriteRecentPath(const std::string &path, const std::string &newRecentPath);

// The default file's content, 58 lines, the last without a line end: the
// resource ":/config/KLAV_init.ini" compiled into the program.
const std::string &defaultConfigText();
