#pragma once

#include "UsbPortMap.h"

#include <cstdint>

namespace portscout {

// The four functions of the library, with their wide-text buffers and
// statuses (see PortScout.h), over one UsbPortMap.
class PortScoutCalls {
public:
    static constexpr uint8_t kFound = 0;
    static constexpr uint8_t kNotFound = 1;
    static constexpr uint8_t kBadArgument = 2;
    // Characters the caller's buffers hold, terminator included.
    static constexpr std::size_t kIdentifierChars = 400 / sizeof(wchar_t);
    static constexpr std::size_t kComNameChars = 200 / sizeof(wchar_t);

    explicit PortScoutCalls(const UsbPortMap &map) : map_(map) {}

    uint8_t driverByCom(int32_t com, wchar_t *identifier) const;
    uint8_t positionByDriver(const wchar_t *identifier, int32_t *hub, int32_t *port) const;
    uint8_t driverByPosition(int32_t hub, int32_t port, wchar_t *identifier) const;
    uint8_t comByDriver(const wchar_t *identifier, wchar_t *comName) const;

private:
    const UsbPortMap &map_;
};

} // namespace portscout
