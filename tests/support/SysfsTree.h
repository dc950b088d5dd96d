#pragma once
// A device tree laid out like the kernel's sysfs, built in a temporary folder
// for discovery tests: USB devices with an interface and a tty below it,
// class/tty links to every tty (relative, as the kernel links them), and
// device nodes in a dev folder beside it. addUsbTty lays a device out as the
// kernel's cdc_acm does (compared with a real one on the USB bench,
// scripts/usb-bench): the root hub usb1 is itself a USB device with its own
// identifiers (1d6b:0002), every USB device has busnum and devnum and is
// listed in bus/usb/devices, an ACM function has a second (data) interface,
// and each tty has a dev file and DEVNAME in its uevent. Two ways to build it: addUsbTty
// (one device with its attributes, for the loader's discovery) or
// addUsbDevice/addTty (a hub tree with bus numbers, for port maps).

#include "TempFolder.h"

#include <optional>
#include <string>

class SysfsTree {
public:
    struct UsbTty {
        std::string port = "ttyACM0";
        std::string busPosition = "1-2";
        std::optional<std::string> idVendor = std::string("0e6b");
        std::optional<std::string> idProduct = std::string("0080");
        std::optional<std::string> serial = std::string("1234ABCD");
        std::optional<std::string> product = std::string("Velantra QX");
        bool usbSerialDriver = false; // ttyUSB layout: .../<intf>/<port>/tty/<port>
        bool deviceNode = true;
        std::string devName;    // DEVNAME in uevent; empty: the port's name
        bool noDevName = false; // write no DEVNAME at all (no real tty does)
    };

    SysfsTree();
    SysfsTree(const SysfsTree &) = delete;
    SysfsTree &operator=(const SysfsTree &) = delete;

    void addUsbTty(const UsbTty &tty);
    // A tty without a USB device above it (a serial port on the main board).
    void addPlatformTty(const std::string &port);

    // A USB device (or hub) `name` in the folder `parent` (relative to
    // sys/devices), listed in sys/bus/usb/devices; returns its folder,
    // relative to sys/devices.
    std::string addUsbDevice(const std::string &parent, const std::string &name, int busnum,
                             int devnum);
    // A tty on interface 1.0 of the device in `device` (relative to
    // sys/devices), and its dev entry as a plain file.
    void addTty(const std::string &device, const std::string &tty);
    void removeTty(const std::string &tty);
    // <dev>/<name> as a symbolic link to `target` (as given).
    void linkDevice(const std::string &name, const std::string &target);
    // <dev>/<name> replaced by a symbolic link to `target`.
    void relinkDevice(const std::string &name, const std::string &target);

    std::string sysRoot() const { return root_.file("sys"); }
    std::string devRoot() const { return root_.file("dev"); }
    std::string root() const { return root_.path(); }

private:
    // `link` as a relative symbolic link to `target`, as the kernel links.
    void linkRelative(const std::string &link, const std::string &target);

    rdrload::testing::TempFolder root_{"klav-sysfs-"};
    int nextDevnum_ = 2; // the root hub has 1
    int nextMinor_ = 0;
};
