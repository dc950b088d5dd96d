// Discovery's reading of sysfs: one USB tty in a generated tree whose
// attribute files (idVendor, idProduct, serial, product and the tty's
// uevent) take their contents from the input on each run, then the device
// record's parsing of the path discovery made. Identifiers are four hex
// digits, as the kernel writes them; the serial number, product name and
// uevent are whatever the device and the input give. The record must read
// back the identifiers discovery put in and the serial number as the path
// rule cuts it (the bus position for one Windows would refuse), and the port
// it opens must be a node inside the device folder.

#include "FuzzInput.h"
#include "SysfsTree.h"
#include "TempFolder.h"

#include "app/KLAVCommandLine.h"
#include "platform/UsbTtyEnumerator.h"
#include "port/KLAVDevice.h"
#include "port/KLAVGuid.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// The tree is built once. Its five attribute files are links to files in a
// memory-backed folder, rewritten on every run: rewriting files on the disk
// itself waits for the disk and slowed the target twentyfold.
struct Tree {
    SysfsTree tree;
    std::string usbDevice;
    std::string ttyDir;
    // In memory where /dev/shm is there.
    rdrload::testing::TempFolder contentsFolder{
        "klav-discovery-", std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : ""};
    const std::string contents = contentsFolder.path();
    Tree()
    {
        tree.addUsbTty(SysfsTree::UsbTty{});
        usbDevice = tree.sysRoot() + "/devices/pci0000:00/0000:00:14.0/usb1/1-2";
        ttyDir = usbDevice + "/1-2:1.0/tty/ttyACM0";
        for (const std::string &file :
             {usbDevice + "/idVendor", usbDevice + "/idProduct", usbDevice + "/serial",
              usbDevice + "/product", ttyDir + "/uevent"}) {
            std::remove(file.c_str());
            require(symlink(target(file).c_str(), file.c_str()) == 0);
        }
    }
    std::string target(const std::string &file) const
    {
        return contents + "/" + file.substr(file.find_last_of('/') + 1);
    }
};

// Writes the file, or removes it when `present` is false.
void setFile(const Tree &t, const std::string &link, bool present, const std::string &text)
{
    const std::string path = t.target(link);
    if (!present) {
        std::remove(path.c_str());
        return;
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string hex4(FuzzInput &in)
{
    static const char digits[] = "0123456789abcdef";
    const unsigned value = unsigned(in.byte()) << 8 | in.byte();
    std::string text;
    for (int shift = 12; shift >= 0; shift -= 4)
        text += digits[(value >> shift) & 15];
    return text;
}

std::string withoutLineEnd(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

// A path below the device folder: parts that are names, no zero byte.
bool namedPartsOnly(const std::string &path)
{
    if (path.empty() || path.find('\0') != std::string::npos || path.back() == '/')
        return false;
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(start, end - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        start = end + 1;
    }
    return true;
}

// The serial number the record should carry: the bus position when the
// device's own cannot stand in a path (as Windows decides), else the device's
// up to the first separator of the path, where the path rule cuts it.
std::string expectedSerial(const std::string &given)
{
    if (given.empty())
        return "1-2";
    for (unsigned char c : given)
        if (c < 0x20 || c > 0x7F || c == ',')
            return "1-2";
    return given.substr(0, given.find_first_of("_#&{}"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Tree t;
    g_consoleMode = true;
    FuzzInput in(data, size);
    const unsigned present = in.byte();
    const std::string vendor = hex4(in), product = hex4(in);
    const std::string serial = in.chunk(in.byte());
    const std::string name = in.chunk(in.byte());
    const std::string uevent = in.rest();
    setFile(t, t.usbDevice + "/idVendor", present & 1, vendor + "\n");
    setFile(t, t.usbDevice + "/idProduct", present & 2, product + "\n");
    setFile(t, t.usbDevice + "/serial", present & 4, serial);
    setFile(t, t.usbDevice + "/product", present & 8, name);
    setFile(t, t.ttyDir + "/uevent", present & 16, uevent);

    const UsbSerialScan scan = UsbTtyEnumerator(t.tree.sysRoot(), t.tree.devRoot()).scan();
    require(scan.opened);
    for (const UsbSerialInterface &item : scan.interfaces) {
        require(item.portName == "ttyACM0");
        require(item.fileName.compare(0, t.tree.devRoot().size() + 1, t.tree.devRoot() + "/") == 0);
        require(namedPartsOnly(item.fileName.substr(t.tree.devRoot().size() + 1)));
        KLAVDevice device(item.interfacePath, item.fileName, item.portName, item.friendlyName,
                          usbDeviceInterfaceClass());
        require(device.getVID() == vendor && device.getPID() == product);
        const std::string given = present & 4 ? withoutLineEnd(serial) : std::string();
        require(device.getSerialNumber() == expectedSerial(given));
        require(device.getLpFileName() == item.fileName);
    }
    return 0;
}
