#include "DataBehaviour.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace readersim {

namespace {

constexpr std::size_t kLongestBlock = 0xFFFF; // a 16-bit length field

bool readBlock(const std::string &path, std::vector<uint8_t> &block, std::string &error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    block.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (block.size() > kLongestBlock) {
        error = path + " is longer than 65535 bytes";
        return false;
    }
    return true;
}

bool parseByte(const std::string &text, uint8_t &byte)
{
    char *end = nullptr;
    long value = std::strtol(text.c_str(), &end, 0);
    if (end == text.c_str() || *end != '\0' || value < 0 || value > 255)
        return false;
    byte = static_cast<uint8_t>(value);
    return true;
}

bool parseFault(const std::string &text, DataFault &fault)
{
    const std::size_t at = text.find('@');
    const std::string kind = text.substr(0, at);
    if (kind == "silence")
        fault.kind = DataFault::Kind::Silence;
    else if (kind == "nak")
        fault.kind = DataFault::Kind::Nak;
    else if (kind == "wrong-byte")
        fault.kind = DataFault::Kind::WrongByte;
    else if (kind == "short-length")
        fault.kind = DataFault::Kind::ShortLength;
    else if (kind == "short-data")
        fault.kind = DataFault::Kind::ShortData;
    else
        return false;
    if (at == std::string::npos)
        return true;
    char *end = nullptr;
    const std::string step = text.substr(at + 1);
    long value = std::strtol(step.c_str(), &end, 10);
    if (end == step.c_str() || *end != '\0' || value < 1 || value > 5)
        return false;
    fault.step = static_cast<int>(value);
    return true;
}

} // namespace

bool parseDataOption(const std::string &name, const std::string &value, DataBehaviour &behaviour,
                     std::string &error)
{
    if (name == "--upload") {
        // LETTER=FILE
        if (value.size() < 3 || value[1] != '=') {
            error = "--upload wants LETTER=FILE";
            return true;
        }
        readBlock(value.substr(2), behaviour.uploads[static_cast<uint8_t>(value[0])], error);
    } else if (name == "--accept-letters") {
        behaviour.acceptedLetters = value;
    } else if (name == "--received") {
        behaviour.receivedPath = value;
    } else if (name == "--test-status") {
        if (!parseByte(value, behaviour.testStatus))
            error = "--test-status wants a byte";
    } else if (name == "--test-report") {
        readBlock(value, behaviour.testReport, error);
    } else if (name == "--fault") {
        if (!parseFault(value, behaviour.fault))
            error = "--fault wants silence|nak|wrong-byte[@STEP] or short-length|short-data";
    } else {
        return false;
    }
    return true;
}

const char *dataOptionsUsage()
{
    return "  data exchanges (upload '6', download '5', test mode 'T'):\n"
           "  --upload L=FILE      the block uploaded for data-type letter L (others are\n"
           "                       answered with an empty block)\n"
           "  --accept-letters S   letters a download may carry (default: any)\n"
           "  --received FILE      write the data of a download to FILE\n"
           "  --test-status 0xHH   the test mode's status byte (default 0)\n"
           "  --test-report FILE   the test mode's report (default empty)\n"
           "  --fault KIND[@STEP]  silence, nak or wrong-byte instead of answer STEP\n"
           "                       (1: to the request byte; default 1), or short-length /\n"
           "                       short-data: one byte missing from a length or a block\n";
}

} // namespace readersim
