#include "SysfsTree.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <utility>

namespace fs = std::filesystem;

namespace portscout::testing {

namespace {

void writeFile(const fs::path &path, const std::string &text)
{
    std::ofstream out(path);
    out << text << "\n";
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

} // namespace

SysfsTree::SysfsTree(std::string root) : root_(std::move(root))
{
    fs::create_directories(sysRoot() + "/devices/platform");
    fs::create_directories(sysRoot() + "/bus/usb/devices");
    fs::create_directories(sysRoot() + "/class/tty");
    fs::create_directories(devRoot());
}

void SysfsTree::linkRelative(const std::string &link, const std::string &target)
{
    const fs::path from(link);
    fs::create_symlink(fs::relative(target, from.parent_path()), from);
}

std::string SysfsTree::addUsbDevice(const std::string &parent, const std::string &name, int busnum,
                                    int devnum)
{
    const std::string relative = parent.empty() ? name : parent + "/" + name;
    const fs::path folder = sysRoot() + "/devices/" + relative;
    fs::create_directories(folder);
    writeFile(folder / "busnum", std::to_string(busnum));
    writeFile(folder / "devnum", std::to_string(devnum));
    writeFile(folder / "idVendor", "0c59");
    linkRelative(sysRoot() + "/bus/usb/devices/" + name, folder.string());
    return relative;
}

void SysfsTree::addTty(const std::string &device, const std::string &tty)
{
    const fs::path deviceFolder = sysRoot() + "/devices/" + device;
    const fs::path folder =
        deviceFolder / (deviceFolder.filename().string() + ":1.0") / "tty" / tty;
    fs::create_directories(folder);
    writeFile(folder / "dev", "166:0");
    linkRelative(sysRoot() + "/class/tty/" + tty, folder.string());
    writeFile(devRoot() + "/" + tty, "");
}

void SysfsTree::addPlatformTty(const std::string &tty)
{
    const fs::path folder = sysRoot() + "/devices/platform/serial8250/tty/" + tty;
    fs::create_directories(folder);
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

} // namespace portscout::testing
