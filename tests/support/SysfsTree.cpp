#include "SysfsTree.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

void writeFile(const fs::path &path, const std::string &text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

}  // namespace

SysfsTree::SysfsTree()
{
    fs::create_directories(sysRoot() + "/class/tty");
    fs::create_directories(devRoot());
}

void SysfsTree::linkClassTty(const std::string &port, const std::string &ttyDir)
{
    // The kernel's links are relative: ../../devices/...
    fs::path target = fs::relative(ttyDir, sysRoot() + "/class/tty");
    fs::create_directory_symlink(target, sysRoot() + "/class/tty/" + port);
}

void SysfsTree::addUsbTty(const UsbTty &tty)
{
    std::string usbDevice = sysRoot() + "/devices/pci0000:00/0000:00:14.0/usb1/" + tty.busPosition;
    fs::create_directories(usbDevice);
    if (tty.idVendor)
        writeFile(usbDevice + "/idVendor", *tty.idVendor + "\n");
    if (tty.idProduct)
        writeFile(usbDevice + "/idProduct", *tty.idProduct + "\n");
    if (tty.serial)
        writeFile(usbDevice + "/serial", *tty.serial + "\n");
    if (tty.product)
        writeFile(usbDevice + "/product", *tty.product + "\n");
    std::string interface = usbDevice + "/" + tty.busPosition + ":1.0";
    writeFile(interface + "/bInterfaceNumber", "00\n");
    std::string ttyDir = tty.usbSerialDriver ? interface + "/" + tty.port + "/tty/" + tty.port
                                             : interface + "/tty/" + tty.port;
    std::string uevent = "MAJOR=166\nMINOR=0\n";
    if (!tty.devName.empty())
        uevent += "DEVNAME=" + tty.devName + "\n";
    writeFile(ttyDir + "/uevent", uevent);
    linkClassTty(tty.port, ttyDir);
    if (tty.deviceNode)
        writeFile(devRoot() + "/" + (tty.devName.empty() ? tty.port : tty.devName), "");
}

void SysfsTree::addPlatformTty(const std::string &port)
{
    std::string ttyDir = sysRoot() + "/devices/platform/serial8250/tty/" + port;
    writeFile(ttyDir + "/uevent", "MAJOR=4\nMINOR=64\nDEVNAME=" + port + "\n");
    linkClassTty(port, ttyDir);
    writeFile(devRoot() + "/" + port, "");
}
