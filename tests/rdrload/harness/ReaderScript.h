#pragma once

#include "PortEvent.h"

namespace rdrload::testing {

class FakePort;

// The simulated reader behind a fake port. It sees everything the host does
// to the port, after the port has recorded it, and answers by scheduling
// bytes with FakePort::send() (at the current virtual time or later).
class ReaderScript {
public:
    virtual ~ReaderScript() = default;

    virtual void onOpen(FakePort &) {}
    virtual void onClose(FakePort &) {}
    virtual void onWrite(FakePort &, const Bytes &) {}
    virtual void onBreak(FakePort &, bool /*on*/) {}
    virtual void onControl(FakePort &, const LineControl &) {}
    virtual void onTimeouts(FakePort &, const PortTimeouts &) {}
    virtual void onPurge(FakePort &, unsigned /*actions*/) {}
};

} // namespace rdrload::testing
