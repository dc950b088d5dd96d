#include "SysfsTree.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

void writeFile(const fs::path &path, const std::string &text)
{
    // No check: trees for odd device names write some node paths that
    // cannot be made, on purpose.
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

} // namespace

SysfsTree::SysfsTree()
{
    fs::create_directories(sysRoot() + "/class/tty");
    fs::create_directories(devRoot());
}

void SysfsTree::linkRelative(const std::string &link, const std::string &target)
{
    const fs::path from(link);
    fs::create_directories(from.parent_path());
    fs::create_directory_symlink(fs::relative(target, from.parent_path()), from);
}

void SysfsTree::addUsbTty(const UsbTty &tty)
{
    const std::string rootHub = sysRoot() + "/devices/pci0000:00/0000:00:14.0/usb1";
    if (!fs::exists(rootHub + "/idVendor")) {
        writeFile(rootHub + "/idVendor", "1d6b\n");
        writeFile(rootHub + "/idProduct", "0002\n");
        writeFile(rootHub + "/busnum", "1\n");
        writeFile(rootHub + "/devnum", "1\n");
        writeFile(rootHub + "/serial", "0000:00:14.0\n");
        writeFile(rootHub + "/product", "xHCI Host Controller\n");
        writeFile(rootHub + "/1-0:1.0/bInterfaceNumber", "00\n");
        linkRelative(sysRoot() + "/bus/usb/devices/usb1", rootHub);
    }
    std::string usbDevice = rootHub + "/" + tty.busPosition;
    fs::create_directories(usbDevice);
    writeFile(usbDevice + "/busnum", "1\n");
    writeFile(usbDevice + "/devnum", std::to_string(nextDevnum_++) + "\n");
    if (!fs::exists(sysRoot() + "/bus/usb/devices/" + tty.busPosition))
        linkRelative(sysRoot() + "/bus/usb/devices/" + tty.busPosition, usbDevice);
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
    if (!tty.usbSerialDriver) // the data interface of an ACM function
        writeFile(usbDevice + "/" + tty.busPosition + ":1.1/bInterfaceNumber", "01\n");
    std::string ttyDir = tty.usbSerialDriver ? interface + "/" + tty.port + "/tty/" + tty.port
                                             : interface + "/tty/" + tty.port;
    const int minor = nextMinor_++;
    const std::string major = tty.usbSerialDriver ? "188" : "166";
    std::string uevent = "MAJOR=" + major + "\nMINOR=" + std::to_string(minor) + "\n";
    if (!tty.noDevName)
        uevent += "DEVNAME=" + (tty.devName.empty() ? tty.port : tty.devName) + "\n";
    writeFile(ttyDir + "/uevent", uevent);
    writeFile(ttyDir + "/dev", major + ":" + std::to_string(minor) + "\n");
    linkRelative(sysRoot() + "/class/tty/" + tty.port, ttyDir);
    if (tty.deviceNode)
        writeFile(devRoot() + "/" + (tty.devName.empty() ? tty.port : tty.devName), "");
}

void SysfsTree::addPlatformTty(const std::string &port)
{
    std::string ttyDir = sysRoot() + "/devices/platform/serial8250/tty/" + port;
    writeFile(ttyDir + "/uevent", "MAJOR=4\nMINOR=64\nDEVNAME=" + port + "\n");
    linkRelative(sysRoot() + "/class/tty/" + port, ttyDir);
    writeFile(devRoot() + "/" + port, "");
}

std::string SysfsTree::addUsbDevice(const std::string &parent, const std::string &name, int busnum,
                                    int devnum)
{
    const std::string relative = parent.empty() ? name : parent + "/" + name;
    const std::string folder = sysRoot() + "/devices/" + relative;
    writeFile(folder + "/busnum", std::to_string(busnum) + "\n");
    writeFile(folder + "/devnum", std::to_string(devnum) + "\n");
    writeFile(folder + "/idVendor", "0c59\n");
    linkRelative(sysRoot() + "/bus/usb/devices/" + name, folder);
    return relative;
}

void SysfsTree::addTty(const std::string &device, const std::string &tty)
{
    const fs::path deviceFolder = sysRoot() + "/devices/" + device;
    const fs::path folder =
        deviceFolder / (deviceFolder.filename().string() + ":1.0") / "tty" / tty;
    writeFile(folder / "dev", "166:0\n");
    linkRelative(sysRoot() + "/class/tty/" + tty, folder.string());
    writeFile(devRoot() + "/" + tty, "");
}

void SysfsTree::removeTty(const std::string &tty)
{
    const fs::path link = sysRoot() + "/class/tty/" + tty;
    fs::remove_all(fs::canonical(link));
    fs::remove(link);
    fs::remove(devRoot() + "/" + tty);
}

void SysfsTree::linkDevice(const std::string &name, const std::string &target)
{
    fs::create_symlink(target, devRoot() + "/" + name);
}

void SysfsTree::relinkDevice(const std::string &name, const std::string &target)
{
    fs::remove(devRoot() + "/" + name);
    linkDevice(name, target);
}
