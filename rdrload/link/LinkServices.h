#pragma once

#include "Clock.h"
#include "CloseFailureNotice.h"
#include "SerialSystem.h"
#include "TraceSink.h"

namespace rdrload {

// The services the link layer and the operations above it use: the serial
// service, the clock behind every pause, the trace sink, and the notice of a
// failed close. The library
// runs on the platform's own; tests install fakes, a virtual clock and a
// sink they read back. None is owned here.
struct LinkServices {
    SerialSystem *serial = nullptr;
    Clock *clock = nullptr;
    TraceSink *trace = nullptr;
    CloseFailureNotice *notice = nullptr;
};

// The services in use.
const LinkServices &linkServices();

// Replaces the services in use and returns the previous ones. Only while
// no operation runs; a null member keeps the current service.
LinkServices installLinkServices(const LinkServices &services);

// The platform's own services, created on first use.
LinkServices platformLinkServices();

} // namespace rdrload
