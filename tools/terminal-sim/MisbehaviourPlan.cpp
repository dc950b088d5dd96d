#include "MisbehaviourPlan.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

struct OptionInfo {
    const char *name;
    bool takesValue;
};

constexpr OptionInfo kOptions[] = {
    {"silent", false},          {"wrong-byte", true},
    {"short-reply", true},      {"nack", true},
    {"incomplete-nack", true},  {"refuse", true},
    {"no-ending-reply", false}, {"delay", true},
    {"hangup", true},           {"on-load", true},
    {"ack-length", true},       {"split-reply", true},
};

// A whole decimal number from min to max; with hexAllowed also 0x-prefixed
// hexadecimal.
bool parseNumber(const std::string &text, long min, long max, long &value, bool hexAllowed = false)
{
    if (text.empty() || !std::isxdigit((unsigned char)text[0]))
        return false;
    bool hex =
        hexAllowed && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    errno = 0;
    char *end = nullptr;
    long parsed = std::strtol(text.c_str() + (hex ? 2 : 0), &end, hex ? 16 : 10);
    if (errno != 0 || *end != '\0' || parsed < min || parsed > max)
        return false;
    value = parsed;
    return true;
}

bool parseReply(const std::string &text, int &reply)
{
    if (text == "init")
        reply = MisbehaviourPlan::kInitReply;
    else if (text == "request")
        reply = MisbehaviourPlan::kRequestReply;
    else if (text == "end")
        reply = MisbehaviourPlan::kEndingReply;
    else if (text == "data")
        reply = MisbehaviourPlan::kEveryDataReply;
    else {
        long n = 0;
        if (!parseNumber(text, 1, INT_MAX, n))
            return false;
        reply = int(n);
    }
    return true;
}

bool parseBlock(const std::string &text, int &block)
{
    long n = 0;
    if (!parseNumber(text, 1, INT_MAX, n))
        return false;
    block = int(n);
    return true;
}

// "a:b" or "a:b:c" into its parts.
std::vector<std::string> splitColons(const std::string &text, size_t maxParts)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (parts.size() + 1 < maxParts) {
        size_t colon = text.find(':', start);
        if (colon == std::string::npos)
            break;
        parts.push_back(text.substr(start, colon - start));
        start = colon + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

} // namespace

bool MisbehaviourPlan::isOption(const std::string &name)
{
    for (const OptionInfo &option : kOptions) {
        if (name == option.name)
            return true;
    }
    return false;
}

bool MisbehaviourPlan::optionTakesValue(const std::string &name)
{
    for (const OptionInfo &option : kOptions) {
        if (name == option.name)
            return option.takesValue;
    }
    return false;
}

bool MisbehaviourPlan::applyOption(const std::string &name, const std::string &value,
                                   std::string &error)
{
    error.clear();
    long n = 0;
    if (name == "silent") {
        silent = true;
    } else if (name == "no-ending-reply") {
        noEndingReply = true;
    } else if (name == "wrong-byte") {
        std::vector<std::string> parts = splitColons(value, 3);
        ByteChange change;
        if (parts.size() < 2 || !parseReply(parts[0], change.reply) ||
            !parseNumber(parts[1], 0, 254, n))
            error = "wrong-byte wants REPLY:INDEX[:VALUE]";
        change.index = size_t(n);
        if (error.empty() && parts.size() == 3) {
            if (!parseNumber(parts[2], 0, 255, n, true))
                error = "wrong-byte VALUE is a byte, 0 to 255";
            change.value = int(n);
        }
        if (error.empty())
            wrongBytes.push_back(change);
    } else if (name == "short-reply") {
        std::vector<std::string> parts = splitColons(value, 2);
        Cut cut;
        if (parts.size() != 2 || !parseReply(parts[0], cut.reply) ||
            !parseNumber(parts[1], 0, 254, n))
            error = "short-reply wants REPLY:LENGTH";
        cut.length = size_t(n);
        if (error.empty())
            shortReplies.push_back(cut);
    } else if (name == "split-reply") {
        std::vector<std::string> parts = splitColons(value, 3);
        Split split;
        long delay = 0;
        if (parts.size() != 3 || !parseReply(parts[0], split.reply) ||
            !parseNumber(parts[1], 1, 254, n) || !parseNumber(parts[2], 0, 600000, delay))
            error = "split-reply wants REPLY:BYTES:MS (bytes from 1 to 254, ms 0 to 600000)";
        split.first = size_t(n);
        split.delayMs = unsigned(delay);
        if (error.empty())
            splitReplies.push_back(split);
    } else if (name == "nack") {
        std::vector<std::string> parts = splitColons(value, 2);
        if (parts.size() != 2 || !parseBlock(parts[0], nackBlock) || parts[1].size() > 252)
            error = "nack wants BLOCK:TEXT (text of at most 252 bytes)";
        else
            nackText = parts[1];
    } else if (name == "incomplete-nack") {
        if (!parseBlock(value, incompleteNackBlock))
            error = "incomplete-nack wants a block number from 1";
    } else if (name == "refuse") {
        if (!parseBlock(value, refuseBlock))
            error = "refuse wants a block number from 1";
    } else if (name == "hangup") {
        if (!parseBlock(value, hangupBlock))
            error = "hangup wants a block number from 1";
    } else if (name == "delay") {
        if (!parseNumber(value, 0, 600000, n))
            error = "delay wants milliseconds, 0 to 600000";
        else
            delayMs = unsigned(n);
    } else if (name == "ack-length") {
        if (!parseNumber(value, 1, 255, n))
            error = "ack-length wants a length from 1 to 255";
        else
            ackLength = size_t(n);
    } else if (name == "on-load") {
        if (!parseNumber(value, 1, INT_MAX, n))
            error = "on-load wants a load number from 1";
        else
            onlyLoad = int(n);
    } else {
        error = "unknown misbehaviour " + name;
    }
    return error.empty();
}
