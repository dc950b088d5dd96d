#pragma once

#include "link/LineSettings.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rdrload::testing {

using Bytes = std::vector<uint8_t>;

// One thing the host did to a fake port, at a virtual time.
struct PortEvent {
    enum class Kind { Open, Close, Write, Read, Break, Control, Timeouts, Purge };

    Kind kind = Kind::Open;
    uint64_t atMs = 0;         // when the call started
    Bytes data;                // Write: bytes taken; Read: bytes handed back
    std::size_t requested = 0; // Read: bytes asked for
    bool on = false;           // Break: set (true) or cleared
    LineControl control;       // Control: the record written
    PortTimeouts timeouts;     // Timeouts: the record written
    unsigned actions = 0;      // Purge: the actions
};

std::string kindName(PortEvent::Kind kind);

} // namespace rdrload::testing
