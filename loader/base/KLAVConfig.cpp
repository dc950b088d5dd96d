#include "KLAVConfig.h"

#include "KLAVLog.h"
#include "platform/AppFolders.h"
#include "platform/SharedFiles.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

ConfigStruct g_config;
QString g_recentPath;

// klavcore is a static library: its resources are registered by a call that
// names them, here where the default file is read, so that every program
// linking the library has them. Outside any namespace, as the macro needs.
static void registerConfigResources()
{
    Q_INIT_RESOURCE(klav_config);
}

namespace {

const char *const kRelativeConfigPath = "config\\KLAV_init.ini";

// The byte-order mark some editors (Windows Notepad) put before UTF-8 text.
const char kUtf8Bom[] = "\xEF\xBB\xBF";

// Reads every line of the file (a line ends at LF, which is removed). A
// byte-order mark at its start is no part of the first line; bom tells
// whether there was one.
bool readLines(const std::string &path, std::vector<std::string> &lines, bool *bom = nullptr)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    const bool marked = !lines.empty() && lines[0].compare(0, 3, kUtf8Bom) == 0;
    if (marked)
        lines[0].erase(0, 3);
    if (bom)
        *bom = marked;
    return !in.bad();
}

// The whole file, or nothing when it cannot be read.
bool readWhole(const std::string &path, std::string &content)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Replaces the file at path with content, through a temporary file in the
// same folder, so a crash or a full disk never leaves it half written.
bool writeFileAtomically(const std::string &path, const std::string &content)
{
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    if (file.write(content.data(), qint64(content.size())) != qint64(content.size())) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool startsWith(const std::string &text, const char *prefix)
{
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// Most backups of invalid files kept side by side.
constexpr int kMaxBackups = 99;

// Keeps an invalid file under the first of "KLAV_init.ini.bak",
// "KLAV_init.ini.bak2", ... that is free or already holds the very same
// bytes: a backup never replaces an earlier one that differs from it, and
// nothing is written through a link. The name kept under, or empty when the
// file could not be kept (it must then not be replaced).
std::string backUpInvalidFile(const std::string &path)
{
    std::string invalid;
    if (!readWhole(path, invalid))
        return {};
    for (int n = 1; n <= kMaxBackups; ++n) {
        const std::string backup = path + ".bak" + (n > 1 ? std::to_string(n) : std::string());
        const EntryKind kind = entryKind(backup);
        std::string earlier;
        if (kind == EntryKind::RegularFile && (!readWhole(backup, earlier) || earlier != invalid))
            continue;
        if (kind != EntryKind::Absent && kind != EntryKind::RegularFile)
            continue;
        std::string why;
        if (!replaceFile(path, backup, why))
            break;
        writeLog(LOG_INFO, "Invalid config file kept as %s", backup.c_str());
        return backup;
    }
    writeLog(LOG_ERROR, "Invalid config file could not be kept as %s.bak", kRelativeConfigPath);
    return {};
}

enum class Field { Text, List };

struct Setting {
    const char *name;
    Field kind;
    std::string ConfigStruct::*text;
    std::vector<std::string> ConfigStruct::*list;
    const char *storedLabel; // name in the success log line
    const char *failedLabel; // name in the "failed" log line
};

const Setting kSettings[] = {
    {"RecentPath", Field::Text, &ConfigStruct::RecentPath, nullptr, "RecentPath", "RecentPath"},
    {"ApplicationName", Field::Text, &ConfigStruct::ApplicationName, nullptr, "ApplicationName",
     "ApplicationName"},
    {"ExplicativeText", Field::List, nullptr, &ConfigStruct::ExplicativeText, "ExplicativeText",
     "ExplicativeText"},
    {"Database_file", Field::Text, &ConfigStruct::Database_file, nullptr, "Database_file",
     "Database_file"},
    {"Browse", Field::Text, &ConfigStruct::Browse, nullptr, "Browse", "Browse"},
    {"Device_list", Field::Text, &ConfigStruct::Device_list, nullptr, "Device_list", "Device_list"},
    {"Button_load", Field::Text, &ConfigStruct::Button_load, nullptr, "Load", "Button_load"},
    {"PAD_number", Field::Text, &ConfigStruct::PAD_number, nullptr, "PAD_number", "PAD_number"},
    {"Loading_progress", Field::Text, &ConfigStruct::Loading_progress, nullptr, "Loading_progress",
     "Loading_progress"},
    {"Cancel", Field::Text, &ConfigStruct::Cancel, nullptr, "Cancel", "Cancel"},
    {"Renew_devices", Field::Text, &ConfigStruct::Renew_devices, nullptr, "Renew_devices",
     "Renew_devices"},
    {"Close_application", Field::Text, &ConfigStruct::Close_application, nullptr,
     "Close_application", "Close_application"},
    {"VID", Field::List, nullptr, &ConfigStruct::VID, "VID", "VID"},
    {"PID", Field::List, nullptr, &ConfigStruct::PID, "PID", "PID"},
    {"LogOption", Field::Text, &ConfigStruct::LogOption, nullptr, "logOption", "logOption"},
    {"LogPath", Field::Text, &ConfigStruct::LogPath, nullptr, "logPath", "logPath"},
    {"copyright", Field::Text, &ConfigStruct::copyright, nullptr, "copyright", "copyright"},
};

// The first setting whose name begins with the whole key ("Log" selects
// LogOption, an empty key selects RecentPath).
const Setting *findSetting(const std::string &key)
{
    for (const Setting &setting : kSettings) {
        const size_t nameLength = std::strlen(setting.name);
        if (key.size() <= nameLength && std::memcmp(setting.name, key.data(), key.size()) == 0)
            return &setting;
    }
    return nullptr;
}

const char *const kCountedPrefixes[] = {
    "&LogOption=",         "&LogPath=",          "&RecentPath=",  "&ApplicationName=",
    "&Database_file=",     "&Browse=",           "&Device_list=", "&Button_load=",
    "&PAD_number=",        "&Loading_progress=", "&Cancel=",      "&Renew_devices=",
    "&Close_application=",
};

} // namespace

const std::string &defaultConfigText()
{
    static const std::string text = [] {
        registerConfigResources();
        QFile resource(QStringLiteral(":/config/KLAV_init.ini"));
        if (!resource.open(QIODevice::ReadOnly)) // compiled in: cannot fail
            return std::string();
        return resource.readAll().toStdString();
    }();
    return text;
}

bool createConfigFile(const std::string &path)
{
    const KLAVLogScope scope("createConfigFile");
    const bool written = writeFileAtomically(path, defaultConfigText());
    if (!written)
        writeLog(LOG_ERROR, "createConfigFile : cannot write %s", path.c_str());
    return written;
}

bool checkConfigFile(const std::string &path)
{
    const KLAVLogScope scope("checkConfigFile");
    std::vector<std::string> lines;
    if (!readLines(path, lines))
        return false;
    int count = 0;
    bool helpTextSeen = false;
    for (const std::string &line : lines) {
        if (line.empty() || line[0] != '&')
            continue;
        for (const char *prefix : kCountedPrefixes) {
            if (startsWith(line, prefix)) {
                ++count;
                break;
            }
        }
        if (!helpTextSeen && startsWith(line, "&ExplicativeText=")) {
            helpTextSeen = true;
            ++count;
        }
    }
    writeLog(LOG_INFO, "\nNumber of arguments : %d", count);
    return count >= 14;
}

void parse_variable(const std::string &line, ConfigStruct &config)
{
    const KLAVLogScope scope("parse_variable");
    const std::string afterAmpersand = line.substr(1);
    const size_t equals = afterAmpersand.find('=');
    if (equals == std::string::npos || equals + 1 == afterAmpersand.size()) {
        writeLog(LOG_INFO, "parse_variable : Tag empty : %s", afterAmpersand.c_str());
        return;
    }
    const std::string key = afterAmpersand.substr(0, equals);
    const std::string value = afterAmpersand.substr(equals + 1);
    writeLog(LOG_INFO, "Valid parameter");

    const Setting *setting = findSetting(key);
    if (setting) {
        if (value.size() > kConfigValueMax) {
            writeLog(LOG_ERROR, "parse_variable : %s failed", setting->failedLabel);
        } else {
            const std::string *stored;
            if (setting->kind == Field::List) {
                (config.*setting->list).push_back(value);
                stored = &(config.*setting->list).back();
            } else {
                config.*setting->text = value;
                stored = &(config.*setting->text);
            }
            if (setting->text == &ConfigStruct::RecentPath)
                g_recentPath = QString::fromUtf8(value.data(), int(value.size()));
            writeLog(LOG_INFO, "parse_variable : %s = %s (%s)", setting->storedLabel,
                     stored->c_str(), value.c_str());
        }
    }
}

// Makes sure the file at configPath exists and is valid: writes the default
// file when it is missing, keeps an invalid one as a backup and writes the
// default in its place. True when the file was found invalid. inPlace is
// false when no valid file could be put in place (the folder cannot be
// written, or an invalid file could not be kept and so stays as it is): the
// defaults are then read from memory and nothing is saved.
bool ensureValidFile(const std::string &configPath, std::string &backup, bool &inPlace)
{
    inPlace = true;
    if (!QFileInfo(QString::fromStdString(configPath)).isFile()) {
        writeLog(LOG_ERROR, "config_from_file _fconfig == NULL pFileName %s cwd %s",
                 kRelativeConfigPath, configPath.c_str());
        inPlace = createConfigFile(configPath);
    }
    // A missing file that cannot be written is not an invalid one: nothing
    // to tell about its content.
    const bool valid = inPlace && checkConfigFile(configPath);
    writeLog(LOG_INFO, "Config file validity : %d", valid ? 1 : 0);
    const bool invalid = inPlace && !valid;
    if (invalid) {
        // The user's file is replaced only once it is kept.
        backup = backUpInvalidFile(configPath);
        inPlace = !backup.empty() && createConfigFile(configPath);
    }
    return invalid;
}

ConfigReading configFromFolder(ConfigStruct &config, const std::string &folder)
{
    const KLAVLogScope scope("config_from_file");
    QDir().mkpath(QString::fromStdString(folder)); // failure ignored
    const std::string configPath = folder + "/KLAV_init.ini";

    // Runs started at the same moment check, keep and replace the file one
    // after the other, never one run between another's steps.
    ConfigReading reading;
    bool inPlace;
    {
        const FileLock lock(folder + "/KLAV_init.lock");
        if (!lock.held())
            writeLog(LOG_ERROR, "config_from_file : no lock (%s)", lock.error().c_str());
        reading.fileWasInvalid = ensureValidFile(configPath, reading.backup, inPlace);
    }

    std::vector<std::string> lines;
    if (inPlace && !readLines(configPath, lines)) {
        writeLog(LOG_ERROR, "config_from_file _fconfig == NULL pFileName %s cwd %s",
                 kRelativeConfigPath, configPath.c_str());
        inPlace = false;
    }
    if (!inPlace) {
        // The folder cannot be written: the default settings from memory,
        // so the window still has its texts and the terminals their ids.
        writeLog(LOG_ERROR, "config_from_file : %s cannot be written, default settings used",
                 configPath.c_str());
        lines.clear();
        std::istringstream defaults(defaultConfigText());
        for (std::string line; std::getline(defaults, line);)
            lines.push_back(line);
    }

    config.VID.clear();
    config.PID.clear();
    config.ExplicativeText.clear();
    for (std::string &line : lines) {
        const size_t end = line.find_first_of("\r\n");
        if (end != std::string::npos)
            line.resize(end);
        if (!line.empty() && line[0] == '&')
            parse_variable(line, config);
    }
    writeLog(LOG_INFO, "file %s", configPath.c_str());
    reading.settingsSaved = inPlace;
    return reading;
}

ConfigReading config_from_file(ConfigStruct &config)
{
    return configFromFolder(config, executableFolder() + "/config");
}

void printConfig(const ConfigStruct &config)
{
    const KLAVLogScope scope("printConfig");
    writeLog(LOG_INFO, "Information of the config struct: ");
    writeLog(LOG_INFO, "RecentPath=%s", config.RecentPath.c_str());
    writeLog(LOG_INFO, "LogPath=%s", config.LogPath.c_str());
    writeLog(LOG_INFO, "ApplicationName=%s", config.ApplicationName.c_str());
    for (const std::string &text : config.ExplicativeText)
        writeLog(LOG_INFO, "ExplicativeText=%s", text.c_str());
    writeLog(LOG_INFO, "Database_file=%s", config.Database_file.c_str());
    writeLog(LOG_INFO, "Browse=%s", config.Browse.c_str());
    writeLog(LOG_INFO, "Device_list=%s", config.Device_list.c_str());
    writeLog(LOG_INFO, "Button_load=%s", config.Button_load.c_str());
    writeLog(LOG_INFO, "PAD_number=%s", config.PAD_number.c_str());
    writeLog(LOG_INFO, "Loading_progress=%s", config.Loading_progress.c_str());
    writeLog(LOG_INFO, "Cancel=%s", config.Cancel.c_str());
    writeLog(LOG_INFO, "Renew_devices=%s", config.Renew_devices.c_str());
    writeLog(LOG_INFO, "Close_application=%s", config.Close_application.c_str());
    const size_t devices = config.supportedDeviceCount();
    writeLog(LOG_INFO, "%d supported device(s)", int(devices));
    for (size_t i = 0; i < devices; ++i)
        writeLog(LOG_INFO, "VID=%s - PID=%s", config.VID[i].c_str(), config.PID[i].c_str());
}

bool rewriteRecentPath(const std::string &path, const std::string &newRecentPath)
{
    // Not between another start's check and replacement of the same file.
    const std::string folder = path.substr(0, path.find_last_of("/\\") + 1);
    const FileLock lock(folder + "KLAV_init.lock");
    std::vector<std::string> lines;
    bool bom = false;
    if (!readLines(path, lines, &bom)) {
        writeLog(LOG_ERROR, "writeConfig : cannot read %s", path.c_str());
        return false;
    }
    std::string content = bom ? kUtf8Bom : "";
    for (const std::string &line : lines) {
        if (startsWith(line, "&RecentPath="))
            content += "&RecentPath=" + newRecentPath;
        else
            content += line;
        content += '\n';
    }
    if (!writeFileAtomically(path, content)) {
        writeLog(LOG_ERROR, "writeConfig : cannot write %s", path.c_str());
        return false;
    }
    return true;
}

bool writeConfig(std::string newRecentPath)
{
    const KLAVLogScope scope("writeConfig");
    return rewriteRecentPath(executableFolder() + "/config/KLAV_init.ini", newRecentPath);
}
