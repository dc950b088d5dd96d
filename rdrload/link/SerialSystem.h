#pragma once

#include "SerialChannel.h"

#include <memory>
#include <string>

namespace rdrload {

// The platform's serial service: opens COM ports by number.
class SerialSystem {
public:
    virtual ~SerialSystem() = default;

    // Opens COM port `number` for reading and writing, for this caller
    // alone; null when the port is absent or held by someone else.
    virtual std::unique_ptr<SerialChannel> open(int number) = 0;
    // The system's message text for an error code of a line.
    virtual std::string errorText(int error) = 0;
};

} // namespace rdrload
