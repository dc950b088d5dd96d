#include "UpdateBehaviour.h"

#include <cstdlib>

namespace readersim {

namespace {

// A whole number within [low, high], in any base strtol reads.
bool parseNumber(const std::string &text, long low, long high, long &value)
{
    char *end = nullptr;
    value = std::strtol(text.c_str(), &end, 0);
    return end != text.c_str() && *end == '\0' && value >= low && value <= high;
}

// nak, none (silence) or a byte.
bool parseAnswer(const std::string &text, int &answer)
{
    if (text == "nak") {
        answer = 0x15;
        return true;
    }
    if (text == "none") {
        answer = UpdateBehaviour::kSilent;
        return true;
    }
    long value = 0;
    if (!parseNumber(text, 0, 255, value))
        return false;
    answer = static_cast<int>(value);
    return true;
}

// "K:ANSWER": the frame number K (from 1) and its answer.
bool parseFault(const std::string &text, uint32_t &frame, int &answer)
{
    const std::size_t colon = text.find(':');
    long number = 0;
    if (colon == std::string::npos || !parseNumber(text.substr(0, colon), 1, 0x7FFFFFFF, number))
        return false;
    frame = static_cast<uint32_t>(number);
    return parseAnswer(text.substr(colon + 1), answer);
}

} // namespace

bool UpdateBehaviour::isOption(const std::string &name)
{
    return name == "--update-decision" || name == "--update-header-answer" ||
           name == "--update-packet-answer" || name == "--update-output";
}

bool UpdateBehaviour::takeOption(const std::string &name, const std::string &value)
{
    if (name == "--update-decision") {
        if (value == "none") {
            decision = kSilent;
            return true;
        }
        long number = 0;
        if (!parseNumber(value, 0, 255, number))
            return false;
        decision = static_cast<int>(number);
        return true;
    }
    if (name == "--update-header-answer")
        return parseFault(value, headerFault, headerAnswer);
    if (name == "--update-packet-answer")
        return parseFault(value, packetFault, packetAnswer);
    if (name == "--update-output") {
        outputPath = value;
        return !value.empty();
    }
    return false;
}

const char *UpdateBehaviour::usage()
{
    return "  Update package transfers (request '2'):\n"
           "  --update-decision N|none       decision byte 0 to 255 (default 0 takes the\n"
           "                                 package); none sends no decision\n"
           "  --update-header-answer K:ANS   answer header K (from 1) with ANS instead of\n"
           "                                 ACK: nak, none (silence) or 0xHH\n"
           "  --update-packet-answer K:ANS   the same for the data of packet K\n"
           "  --update-output FILE           write each completed package to FILE\n";
}

} // namespace readersim
