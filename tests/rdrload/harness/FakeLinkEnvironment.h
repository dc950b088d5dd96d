#pragma once

#include "FakeSerialSystem.h"
#include "RecordingTraceSink.h"
#include "ScopedLinkServices.h"
#include "VirtualClock.h"

namespace rdrload::testing {

// Everything an in-process test of the link layer or of an operation needs:
// fake ports on a virtual clock and a trace that is read back, installed
// for the lifetime of the object.
struct FakeLinkEnvironment {
    VirtualClock clock;
    FakeSerialSystem serial{clock};
    RecordingTraceSink trace;
    ScopedLinkServices installed{LinkServices{&serial, &clock, &trace}};
};

} // namespace rdrload::testing
