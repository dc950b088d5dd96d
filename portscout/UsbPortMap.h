#pragma once

#include <optional>
#include <string>

namespace portscout {

// Where a USB device is plugged in: the parent hub's device number and the
// device's port on that hub.
struct HubPosition {
    int hub = 0;
    int port = 0;
};

// The mapping between COM port numbers, ttys and USB devices, read from a
// sysfs tree and a device folder (/sys and /dev in production; tests give
// trees they build). On Windows the roots are not used: the same questions
// are answered from the device tree (SetupAPI, CfgMgr32).
//
//   COM n      -> <dev>/COM<n> when it exists, else <dev>/ttyS<n-1>; its
//                 symbolic links are followed until a name that
//                 <sys>/class/tty knows
//   tty        -> the USB device above it in <sys>/devices (the nearest
//                 folder with a busnum file); its identifier is the
//                 device's sysfs name, e.g. "1-2.3"
//   identifier -> hub = devnum of the parent hub, port = the last number
//                 of the name ("1-2.3" -> 3)
//   identifier -> the lowest COM<n> in <dev> whose links lead to one of the
//                 device's ttys
class UsbPortMap {
public:
    UsbPortMap(std::string sysRoot, std::string devRoot);

    std::optional<std::string> deviceForCom(int com) const;
    std::optional<HubPosition> positionOf(const std::string &identifier) const;
    std::optional<std::string> deviceAt(const HubPosition &position) const;
    std::optional<int> comFor(const std::string &identifier) const;

private:
    std::optional<std::string> ttyBehind(const std::string &devicePath) const;
    std::optional<std::string> deviceOfTty(const std::string &tty) const;
    std::optional<std::string> usbDeviceFolder(const std::string &identifier) const;

    std::string sysRoot_;
    std::string devRoot_;
};

} // namespace portscout
