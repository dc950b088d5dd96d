#pragma once

#include "LineSettings.h"

#include <cstddef>

namespace rdrload {

// One open serial line of the reader link, as the platform's serial service
// gives it: the calls the link layer makes on a port handle. Every call
// returns whether it succeeded; lastError() then tells why the last failing
// call failed, as the platform's own number (for its error text), and
// readPending() what that means to the link, so the link never compares a
// platform's number.
class SerialChannel {
public:
    virtual ~SerialChannel() = default;

    virtual bool getControl(LineControl &control) = 0;
    virtual bool setControl(const LineControl &control) = 0;
    virtual bool getTimeouts(PortTimeouts &timeouts) = 0;
    virtual bool setTimeouts(const PortTimeouts &timeouts) = 0;
    virtual bool purge(unsigned actions) = 0;
    // Waits as the timeouts say; a read that times out succeeds with fewer
    // bytes than asked for (possibly none).
    virtual bool read(void *buffer, std::size_t count, std::size_t &received) = 0;
    virtual bool write(const void *data, std::size_t count, std::size_t &written) = 0;
    virtual bool setBreak() = 0;
    virtual bool clearBreak() = 0;
    // Releases the line; called once, after which only lastError() is used.
    virtual bool close() = 0;
    // Lets go of the line without closing it and gives its platform handle
    // to the caller, who owns it from then on (see SerialSystem::borrow).
    // The line is not used afterwards.
    virtual void *handOver() = 0;
    // Error code of the last call, 0 when it succeeded.
    virtual int lastError() const = 0;
    // True when the last read ended without bytes while the platform still
    // had it in progress (a line that reads asynchronously).
    virtual bool readPending() const = 0;
};

} // namespace rdrload
