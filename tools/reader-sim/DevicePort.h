#pragma once

#include "PtyPort.h"
#include "ReaderEngine.h"

#include <string>

namespace readersim {

// The reader's end of a real serial line: a USB gadget's tty (/dev/ttyGS0),
// whose host end the host opens as /dev/ttyACM0. The gadget's tty shows
// neither the host's opening nor its break; within one machine the host's
// device node does: its opens and closes (inotify) stand for the host's
// presence, as the hang-up state of a pty's master does. Same operations as
// PtyPort.
class DevicePort {
public:
    // Opens the device raw and watches hostNode; throws std::runtime_error
    // when either cannot be done.
    DevicePort(const std::string &device, const std::string &hostNode);
    ~DevicePort();
    DevicePort(const DevicePort &) = delete;
    DevicePort &operator=(const DevicePort &) = delete;

    const std::string &slavePath() const { return devicePath_; }

    using Readiness = PtyPort::Readiness;
    Readiness wait(int timeoutMs);
    Bytes readAvailable();
    bool writeAll(const Bytes &bytes);

private:
    void takeHostEvents();

    int device_ = -1;
    int watch_ = -1;
    int hostOpens_ = 0; // opens of the host node not yet closed
    std::string devicePath_;
};

} // namespace readersim
