#pragma once

#include <string>

namespace portscout::testing {

// A sysfs tree and a device folder built under a folder of the test's:
// <root>/sys with devices/, bus/usb/devices/ and class/tty/ (linked as the
// kernel links them, by relative links), and <root>/dev.
class SysfsTree {
public:
    explicit SysfsTree(std::string root);

    std::string sysRoot() const { return root_ + "/sys"; }
    std::string devRoot() const { return root_ + "/dev"; }

    // A USB device (or hub) `name` in the folder `parent` (relative to
    // sys/devices); returns its folder, relative to sys/devices.
    std::string addUsbDevice(const std::string &parent, const std::string &name, int busnum,
                             int devnum);
    // A tty on interface 1.0 of the device in `device` (relative to
    // sys/devices), and its /dev entry as a plain file.
    void addTty(const std::string &device, const std::string &tty);
    // A tty that no USB device carries (a built-in serial port).
    void addPlatformTty(const std::string &tty);
    void removeTty(const std::string &tty);
    // <dev>/<name> as a symbolic link to `target` (as given).
    void linkDevice(const std::string &name, const std::string &target);
    // <dev>/<name> replaced by a symbolic link to `target`.
    void relinkDevice(const std::string &name, const std::string &target);

private:
    void linkRelative(const std::string &link, const std::string &target);

    std::string root_;
};

} // namespace portscout::testing
