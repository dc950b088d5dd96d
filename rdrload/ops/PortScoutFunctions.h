#pragma once

#include "api/rdrload.h"

#include <cstdint>
#include <string>

namespace rdrload {

// The four functions of the port-locating helper library, PortScout, which
// maps COM port numbers to USB hub positions and back. Texts are wide,
// zero-terminated; the caller's identifier buffer holds 400 bytes and its
// COM-name buffer 200 bytes. Every function returns a status, 0 for found.
// They use the Windows API convention, __stdcall, which only means something
// on 32-bit Windows (api/rdrload.h makes it expand to nothing elsewhere).
struct PortScoutFunctions {
    // COM number -> identifier of the device behind it.
    using DriverByCom = uint8_t(__stdcall *)(int32_t com, wchar_t *identifier);
    // identifier -> hub number and port on that hub.
    using PositionByDriver = uint8_t(__stdcall *)(const wchar_t *identifier, int32_t *hub,
                                                  int32_t *port);
    // hub position -> identifier of the device there.
    using DriverByPosition = uint8_t(__stdcall *)(int32_t hub, int32_t port, wchar_t *identifier);
    // identifier -> "COM<n>".
    using ComByDriver = uint8_t(__stdcall *)(const wchar_t *identifier, wchar_t *comName);

    DriverByCom driverByCom = nullptr;
    PositionByDriver positionByDriver = nullptr;
    DriverByPosition driverByPosition = nullptr;
    ComByDriver comByDriver = nullptr;
};

// The helper as the firmware download finds it.
struct PortScoutLookup {
    enum class Status { Loaded, NoLibrary, MissingFunction };

    Status status = Status::NoLibrary;
    PortScoutFunctions functions;
    // MissingFunction: the name of the first function not found.
    std::string missing;
};

// The names the functions are looked up by.
constexpr const char *kDriverByComName = "searchDriverByComPemtal";
constexpr const char *kPositionByDriverName = "searchPositionByDriver";
constexpr const char *kDriverByPositionName = "searchDriverByPosition";
constexpr const char *kComByDriverName = "searchComByDriverPemtal";

} // namespace rdrload
