#pragma once

#include <map>
#include <string>
#include <vector>

// The arguments of one subcommand: positional words and --options. Options
// that take a value are named when parsing; the others are flags. "-o" is
// the short form of "--output".
class CommandLine {
public:
    // Splits `arguments`; false with `error` set on an unknown option or a
    // missing value.
    bool parse(const std::vector<std::string> &arguments,
               const std::vector<std::string> &valueOptions,
               const std::vector<std::string> &flagOptions, std::string &error);

    const std::vector<std::string> &positional() const { return positional_; }
    bool has(const std::string &option) const { return values_.count(option) > 0; }
    std::string value(const std::string &option) const;

private:
    std::vector<std::string> positional_;
    std::map<std::string, std::string> values_;
};

// A whole number written in decimal or with 0x; false when the text is not
// one or lies outside [low, high].
bool parseNumber(const std::string &text, long long low, long long high, long long &number);
