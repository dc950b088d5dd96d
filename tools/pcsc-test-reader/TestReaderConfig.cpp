#include "TestReaderConfig.h"

#include <reader.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

std::string trim(const std::string &text)
{
    size_t start = text.find_first_not_of(" \t\r");
    if (start == std::string::npos)
        return std::string();
    size_t end = text.find_last_not_of(" \t\r");
    return text.substr(start, end - start + 1);
}

// A whole number from min to max, decimal or 0x-prefixed hexadecimal.
bool parseNumber(const std::string &text, unsigned long long max, unsigned long long &value)
{
    if (text.empty() || !std::isdigit((unsigned char)text[0]))
        return false;
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    errno = 0;
    char *end = nullptr;
    unsigned long long parsed = std::strtoull(text.c_str() + (hex ? 2 : 0), &end, hex ? 16 : 10);
    if (errno != 0 || *end != '\0' || end == text.c_str() + (hex ? 2 : 0) || parsed > max)
        return false;
    value = parsed;
    return true;
}

bool parseInt(const std::string &text, int min, int max, int &value)
{
    unsigned long long parsed = 0;
    if (!parseNumber(text, (unsigned long long)max, parsed) || parsed < (unsigned long long)min)
        return false;
    value = int(parsed);
    return true;
}

bool parseHexBytes(const std::string &text, std::vector<uint8_t> &bytes)
{
    std::istringstream words(text);
    std::string word;
    std::vector<uint8_t> parsed;
    while (words >> word) {
        if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X'))
            word = word.substr(2);
        if (word.empty() || word.size() > 2 || !std::isxdigit((unsigned char)word[0]) ||
            !std::isxdigit((unsigned char)word.back()))
            return false;
        parsed.push_back(uint8_t(std::strtoul(word.c_str(), nullptr, 16)));
    }
    if (parsed.empty())
        return false;
    bytes = parsed;
    return true;
}

std::string resolve(const std::string &path, const std::string &baseFolder)
{
    if (path.empty() || path[0] == '/' || baseFolder.empty())
        return path;
    return baseFolder + "/" + path;
}

} // namespace

TestReaderConfig::TestReaderConfig() : escapeCode(SCARD_CTL_CODE(3500)) {}

bool TestReaderConfig::parse(const std::string &text, const std::string &baseFolder,
                             std::string &error)
{
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        size_t hash = line.find('#');
        if (hash != std::string::npos)
            line.erase(hash);
        line = trim(line);
        if (line.empty())
            continue;
        size_t equals = line.find('=');
        bool hasValue = equals != std::string::npos;
        std::string key = trim(line.substr(0, equals));
        std::string value = hasValue ? trim(line.substr(equals + 1)) : std::string();
        std::string reason;
        if (!apply(key, value, hasValue, baseFolder, reason)) {
            error = "line " + std::to_string(number) + ": " + reason;
            return false;
        }
    }
    return true;
}

bool TestReaderConfig::load(const std::string &path, std::string &error)
{
    // pcscd may name a link to the file: relative paths and messages belong
    // to the file itself.
    std::string real = path;
    if (char *resolved = realpath(path.c_str(), nullptr)) {
        real = resolved;
        std::free(resolved);
    }
    std::ifstream in(real);
    if (!in) {
        error = "cannot read " + real;
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    size_t slash = real.rfind('/');
    std::string folder = slash == std::string::npos ? std::string(".") : real.substr(0, slash);
    if (folder.empty())
        folder = "/";
    if (!parse(text.str(), folder, error)) {
        error = real + ": " + error;
        return false;
    }
    return true;
}

bool TestReaderConfig::apply(const std::string &key, const std::string &value, bool hasValue,
                             const std::string &baseFolder, std::string &error)
{
    bool valued = key == "name" || key == "vendor" || key == "serial" || key == "slots" ||
                  key == "escape-code" || key == "features" || key == "deny" ||
                  key == "escape-answer-max" || key == "out" || key == "log" || key == "pad";
    if (!valued) {
        if (!MisbehaviourPlan::isOption(key)) {
            error = "unknown setting \"" + key + "\"";
            return false;
        }
        if (MisbehaviourPlan::optionTakesValue(key) != hasValue) {
            error = hasValue ? key + " takes no value" : key + " needs a value";
            return false;
        }
        return plan.applyOption(key, value, error);
    }
    if (!hasValue) {
        error = key + " needs a value";
        return false;
    }

    if (key == "name") {
        if (value.find('"') != std::string::npos) {
            error = "name cannot hold a double quote";
            return false;
        }
        name = value;
    } else if (key == "vendor") {
        vendor = value;
    } else if (key == "serial") {
        serial = value;
    } else if (key == "slots") {
        if (!parseInt(value, 1, kMaxSlots, slots)) {
            error = "slots wants a number from 1 to " + std::to_string(kMaxSlots);
            return false;
        }
    } else if (key == "escape-code") {
        unsigned long long code = 0;
        if (!parseNumber(value, 0xFFFFFFFFull, code) || code == 0) {
            error = "escape-code wants a function number or a control code";
            return false;
        }
        escapeCode = code <= 0xFFF ? uint32_t(SCARD_CTL_CODE(code)) : uint32_t(code);
    } else if (key == "features") {
        if (value == "escape") {
            features = Features::Escape;
        } else if (value == "none") {
            features = Features::None;
        } else if (value == "refuse") {
            features = Features::Refuse;
        } else if (parseHexBytes(value, featureBytes)) {
            features = Features::Listed;
        } else {
            error = "features wants escape, none, refuse or hexadecimal bytes";
            return false;
        }
    } else if (key == "deny") {
        std::string list = value;
        for (char &c : list)
            c = c == ',' ? ' ' : c;
        std::istringstream words(list);
        std::string word;
        while (words >> word) {
            if (word == "connect") {
                denyConnect = true;
            } else if (word == "vendor") {
                denyVendor = true;
            } else if (word == "serial") {
                denySerial = true;
            } else {
                error = "deny knows connect, vendor and serial, not \"" + word + "\"";
                return false;
            }
        }
    } else if (key == "escape-answer-max") {
        if (!parseInt(value, 0, INT_MAX, escapeAnswerMax)) {
            error = "escape-answer-max wants a number of bytes";
            return false;
        }
    } else if (key == "out") {
        outPath = resolve(value, baseFolder);
    } else if (key == "log") {
        logPath = resolve(value, baseFolder);
    } else if (key == "pad") {
        if (!parseInt(value, 0, 15, pad)) {
            error = "pad wants a number from 0 to 15";
            return false;
        }
    }
    return true;
}

std::vector<uint8_t> TestReaderConfig::featureList() const
{
    switch (features) {
    case Features::Escape:
        return {0x13,
                0x04,
                uint8_t(escapeCode >> 24),
                uint8_t(escapeCode >> 16),
                uint8_t(escapeCode >> 8),
                uint8_t(escapeCode)};
    case Features::Listed:
        return featureBytes;
    case Features::None:
    case Features::Refuse:
        break;
    }
    return {};
}
