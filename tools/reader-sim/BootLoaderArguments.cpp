#include "BootLoaderArguments.h"

#include <cerrno>
#include <cstdlib>

namespace readersim {

namespace {

bool parseNumber(const std::string &text, unsigned long maximum, unsigned long &number)
{
    if (text.empty() || text[0] == '-')
        return false;
    char *end = nullptr;
    errno = 0;
    unsigned long value = std::strtoul(text.c_str(), &end, 0);
    if (end == text.c_str() || *end != '\0' || errno != 0 || value > maximum)
        return false;
    number = value;
    return true;
}

bool parseByteOrNone(const std::string &text, int &answer)
{
    unsigned long value = 0;
    if (text == "none")
        answer = -1;
    else if (parseNumber(text, 0xFF, value))
        answer = static_cast<int>(value);
    else
        return false;
    return true;
}

bool parseFlashAnswer(const std::string &text, BootLoaderOptions::FlashAnswer &answer)
{
    if (text == "checked")
        answer = BootLoaderOptions::FlashAnswer::Checked;
    else if (text == "ack")
        answer = BootLoaderOptions::FlashAnswer::Ack;
    else if (text == "nak")
        answer = BootLoaderOptions::FlashAnswer::Nak;
    else if (text == "none")
        answer = BootLoaderOptions::FlashAnswer::Silent;
    else
        return false;
    return true;
}

} // namespace

bool BootLoaderArguments::isOption(const std::string &name)
{
    for (const char *option : {"--boot-loader", "--boot-output", "--sync-answer", "--lose-echo",
                               "--lose-ack", "--fill", "--flash-answer"}) {
        if (name == option)
            return true;
    }
    return false;
}

bool BootLoaderArguments::take(const std::string &name, const std::string &value)
{
    seen_ = true;
    unsigned long number = 0;
    if (name == "--boot-loader") {
        if (!parseNumber(value, 0xFFFFFFFFul, number))
            return false;
        options_.imageAddress = static_cast<uint32_t>(number);
        enabled_ = true;
        return true;
    }
    if (name == "--boot-output") {
        options_.outputFolder = value;
        return !value.empty();
    }
    if (name == "--sync-answer")
        return parseByteOrNone(value, options_.syncAnswer);
    if (name == "--lose-echo")
        return parseNumber(value, ~0ul, options_.loseEchoAt);
    if (name == "--lose-ack")
        return parseNumber(value, ~0ul, options_.loseAckAt);
    if (name == "--fill") {
        options_.failFill = value == "refuse";
        return value == "refuse" || value == "ack";
    }
    if (name == "--flash-answer")
        return parseFlashAnswer(value, options_.flashAnswer);
    return false;
}

const char *BootLoaderArguments::usage()
{
    return "  --boot-loader ADDR   serve the reader's boot loader instead (image area at\n"
           "                       ADDR, for example 0x00400000); the options below need it\n"
           "  --boot-output DIR    at the flash command write image.bin (the 32 KB image\n"
           "                       area), config.bin, boot.bin and registers.txt into DIR\n"
           "  --sync-answer none|0xHH  answer to 'A' (default ':')\n"
           "  --lose-echo K        record K (counting every record since the port opened)\n"
           "                       is neither echoed, acknowledged nor kept\n"
           "  --lose-ack K         record K is echoed and kept but not acknowledged\n"
           "  --fill ack|refuse    refuse: fill records are echoed, not acknowledged\n"
           "  --flash-answer checked|ack|nak|none  answer to the flash command (default:\n"
           "                       ACK when the image area is complete, else NAK; ack:\n"
           "                       ACK whatever the area holds)\n";
}

} // namespace readersim
