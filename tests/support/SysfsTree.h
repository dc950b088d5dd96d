#pragma once
// A device tree laid out like the kernel's sysfs, built in a temporary folder
// for discovery tests: USB devices with an interface and a tty below it,
// class/tty links to every tty, and device nodes in a dev folder beside it.

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
        bool usbSerialDriver = false;  // ttyUSB layout: .../<intf>/<port>/tty/<port>
        bool deviceNode = true;
        std::string devName;           // DEVNAME in uevent; empty: none written
    };

    SysfsTree();
    SysfsTree(const SysfsTree &) = delete;
    SysfsTree &operator=(const SysfsTree &) = delete;

    void addUsbTty(const UsbTty &tty);
    // A tty without a USB device above it (a serial port on the main board).
    void addPlatformTty(const std::string &port);

    std::string sysRoot() const { return root_.file("sys"); }
    std::string devRoot() const { return root_.file("dev"); }
    std::string root() const { return root_.path(); }

private:
    void linkClassTty(const std::string &port, const std::string &ttyDir);

    rdrload::testing::TempFolder root_{"klav-sysfs-"};
};
