#include "PortScoutCalls.h"

#include <string>

namespace portscout {

namespace {

// The caller's identifier, read no further than its buffer could reach;
// nothing when it is not plain ASCII or not terminated in time.
std::optional<std::string> narrowIdentifier(const wchar_t *text)
{
    std::string out;
    for (std::size_t i = 0; i < PortScoutCalls::kIdentifierChars; ++i) {
        if (text[i] == L'\0')
            return out;
        if (text[i] < 0x20 || text[i] >= 0x7f)
            return std::nullopt;
        out += static_cast<char>(text[i]);
    }
    return std::nullopt;
}

// Copies an ASCII text into a caller's buffer of `capacity` characters.
bool copyWide(const std::string &text, wchar_t *out, std::size_t capacity)
{
    if (text.size() + 1 > capacity)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        out[i] = static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
    out[text.size()] = L'\0';
    return true;
}

} // namespace

uint8_t PortScoutCalls::driverByCom(int32_t com, wchar_t *identifier) const
{
    if (identifier == nullptr)
        return kBadArgument;
    const auto device = map_.deviceForCom(com);
    return device && copyWide(*device, identifier, kIdentifierChars) ? kFound : kNotFound;
}

uint8_t PortScoutCalls::positionByDriver(const wchar_t *identifier, int32_t *hub,
                                         int32_t *port) const
{
    if (identifier == nullptr || hub == nullptr || port == nullptr)
        return kBadArgument;
    const auto name = narrowIdentifier(identifier);
    const auto position = name ? map_.positionOf(*name) : std::nullopt;
    if (!position)
        return kNotFound;
    *hub = position->hub;
    *port = position->port;
    return kFound;
}

uint8_t PortScoutCalls::driverByPosition(int32_t hub, int32_t port, wchar_t *identifier) const
{
    if (identifier == nullptr)
        return kBadArgument;
    const auto device = map_.deviceAt(HubPosition{hub, port});
    return device && copyWide(*device, identifier, kIdentifierChars) ? kFound : kNotFound;
}

uint8_t PortScoutCalls::comByDriver(const wchar_t *identifier, wchar_t *comName) const
{
    if (identifier == nullptr || comName == nullptr)
        return kBadArgument;
    const auto name = narrowIdentifier(identifier);
    const auto com = name ? map_.comFor(*name) : std::nullopt;
    return com && copyWide("COM" + std::to_string(*com), comName, kComNameChars) ? kFound
                                                                                 : kNotFound;
}

} // namespace portscout
