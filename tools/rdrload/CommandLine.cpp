#include "CommandLine.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace {

bool listed(const std::vector<std::string> &names, const std::string &name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

} // namespace

bool CommandLine::parse(const std::vector<std::string> &arguments,
                        const std::vector<std::string> &valueOptions,
                        const std::vector<std::string> &flagOptions, std::string &error)
{
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string word = arguments[i];
        if (word == "-o")
            word = "--output";
        if (word.rfind("--", 0) != 0 || word == "--") {
            positional_.push_back(arguments[i]);
            continue;
        }
        if (listed(flagOptions, word)) {
            values_[word] = "";
        } else if (listed(valueOptions, word)) {
            if (i + 1 >= arguments.size()) {
                error = word + " wants a value";
                return false;
            }
            values_[word] = arguments[++i];
        } else {
            error = "unknown option " + word;
            return false;
        }
    }
    return true;
}

std::string CommandLine::value(const std::string &option) const
{
    auto found = values_.find(option);
    return found != values_.end() ? found->second : std::string();
}

bool parseNumber(const std::string &text, long long low, long long high, long long &number)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 0);
    if (errno != 0 || end == text.c_str() || *end != '\0' || value < low || value > high)
        return false;
    number = value;
    return true;
}
