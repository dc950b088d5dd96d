// USB serial ports from sysfs: every tty under class/tty whose device has a
// USB device (idVendor, idProduct) among its ancestors and a device node.

#include "UsbTtyEnumerator.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>

#include <dirent.h>
#include <sys/stat.h>

namespace {

const char *const kInterfaceClassSuffix = "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
const char *const kDefaultProduct = "USB Serial Device"; // the name Windows gives

// A serial number the device itself reports can hold any byte. Windows
// refuses one with a byte below 0x20, above 0x7F or a comma and names the
// device by its bus position instead; so does this, so that no control or
// non-ASCII byte reaches the device path, the window or the log.
bool usableSerial(const std::string &serial)
{
    if (serial.empty())
        return false;
    for (unsigned char c : serial) {
        if (c < 0x20 || c > 0x7F || c == ',')
            return false;
    }
    return true;
}

bool exists(const std::string &path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

// A sysfs attribute without its line end; false when it cannot be read.
bool readAttribute(const std::string &path, std::string &value)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream text;
    text << in.rdbuf();
    value = text.str();
    while (!value.empty() && (value.back() == '\n' || value.back() == '\r' || value.back() == ' '))
        value.pop_back();
    return true;
}

std::string parentOf(const std::string &path)
{
    size_t slash = path.find_last_of('/');
    return (slash == std::string::npos || slash == 0) ? std::string("/") : path.substr(0, slash);
}

std::string baseName(const std::string &path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool resolve(const std::string &path, std::string &resolved)
{
    char buffer[PATH_MAX];
    if (!realpath(path.c_str(), buffer))
        return false;
    resolved = buffer;
    return true;
}

// ttyACM2 before ttyACM10: runs of digits compare by value.
bool naturalLess(const std::string &a, const std::string &b)
{
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit((unsigned char)a[i]) && std::isdigit((unsigned char)b[j])) {
            size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit((unsigned char)a[ei]))
                ++ei;
            while (ej < b.size() && std::isdigit((unsigned char)b[ej]))
                ++ej;
            std::string na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
            na.erase(0, std::min(na.find_first_not_of('0'), na.size()));
            nb.erase(0, std::min(nb.find_first_not_of('0'), nb.size()));
            if (na.size() != nb.size())
                return na.size() < nb.size();
            if (na != nb)
                return na < nb;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return (a.size() - i) < (b.size() - j);
}

// The nearest ancestor of the tty's device that is a USB device, staying
// inside the device tree; empty when there is none. A USB device folder is
// known by any of the attributes the kernel gives every USB device: one
// whose identifiers cannot be read (unplugged during the scan) is still the
// tty's device, and the walk does not go on to the hub above it, whose
// identifiers (the root hub's 1d6b:0002) are not the terminal's.
std::string usbDeviceOf(const std::string &ttyDevice, const std::string &treeRoot)
{
    std::string dir = parentOf(ttyDevice);
    while (dir.size() > treeRoot.size() && dir.compare(0, treeRoot.size(), treeRoot) == 0) {
        if (exists(dir + "/idVendor") || exists(dir + "/idProduct") || exists(dir + "/busnum"))
            return dir;
        dir = parentOf(dir);
    }
    return std::string();
}

// A node name that stays inside the device folder: relative, every part
// named (no empty part, no "." or ".."), no control byte (a zero byte would
// cut the path short where it is used).
bool insideDeviceFolder(const std::string &name)
{
    if (name.empty() || name.front() == '/')
        return false;
    for (unsigned char c : name) {
        if (c < 0x20)
            return false;
    }
    std::istringstream parts(name);
    std::string part;
    while (std::getline(parts, part, '/')) {
        if (part.empty() || part == "." || part == "..")
            return false;
    }
    return name.back() != '/';
}

std::string deviceNodeName(const std::string &ttyDevice, const std::string &portName)
{
    std::string uevent;
    if (readAttribute(ttyDevice + "/uevent", uevent)) {
        std::istringstream lines(uevent);
        std::string line;
        while (std::getline(lines, line)) {
            if (line.compare(0, 8, "DEVNAME=") == 0 && insideDeviceFolder(line.substr(8)))
                return line.substr(8);
        }
    }
    return portName;
}

std::vector<std::string> listNames(DIR *dir)
{
    std::vector<std::string> names;
    while (dirent *entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    std::sort(names.begin(), names.end(), naturalLess);
    return names;
}

} // namespace

UsbTtyEnumerator::UsbTtyEnumerator() : UsbTtyEnumerator("/sys", "/dev") {}

UsbTtyEnumerator::UsbTtyEnumerator(std::string sysfsRoot, std::string devRoot)
    : sysfsRoot_(std::move(sysfsRoot)), devRoot_(std::move(devRoot))
{
}

UsbSerialScan UsbTtyEnumerator::scan() const
{
    UsbSerialScan result;
    std::string treeRoot;
    const std::string classDir = sysfsRoot_ + "/class/tty";
    if (!resolve(sysfsRoot_, treeRoot))
        return result;
    DIR *dir = opendir(classDir.c_str());
    if (!dir)
        return result;
    result.opened = true;
    std::vector<std::string> names = listNames(dir);
    closedir(dir);

    for (const std::string &port : names) {
        std::string ttyDevice;
        if (!resolve(classDir + "/" + port, ttyDevice))
            continue;
        std::string usbDevice = usbDeviceOf(ttyDevice, treeRoot);
        std::string vendor, product;
        if (usbDevice.empty() || !readAttribute(usbDevice + "/idVendor", vendor) ||
            !readAttribute(usbDevice + "/idProduct", product))
            continue;
        std::string node = devRoot_ + "/" + deviceNodeName(ttyDevice, port);
        if (!exists(node))
            continue;
        std::string serial, productName;
        if (!readAttribute(usbDevice + "/serial", serial) || !usableSerial(serial))
            serial = baseName(usbDevice); // the bus position, such as 1-2.3
        if (!readAttribute(usbDevice + "/product", productName) || productName.empty())
            productName = kDefaultProduct;

        UsbSerialInterface item;
        item.interfacePath =
            "\\\\?\\usb#vid_" + vendor + "&pid_" + product + "#" + serial + kInterfaceClassSuffix;
        item.friendlyName = productName + " (" + port + ")";
        item.portName = port;
        item.fileName = node;
        result.interfaces.push_back(std::move(item));
    }
    return result;
}
