// The Linux sysfs reading of UsbPortMap.

#include "UsbPortMap.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace portscout {

namespace {

// Device links are followed at most this far (a loop ends the search).
constexpr int kMaxLinkSteps = 16;

bool pathExists(const fs::path &path)
{
    std::error_code error;
    return fs::exists(path, error);
}

bool isLink(const fs::path &path)
{
    std::error_code error;
    return fs::is_symlink(path, error);
}

std::optional<fs::path> resolvedPath(const fs::path &path)
{
    std::error_code error;
    fs::path resolved = fs::canonical(path, error);
    if (error)
        return std::nullopt;
    return resolved;
}

std::optional<int> readNumber(const fs::path &file)
{
    std::ifstream in(file);
    int value = 0;
    if (!(in >> value))
        return std::nullopt;
    return value;
}

// The names in a folder, sorted; none when it cannot be read.
std::vector<std::string> entries(const fs::path &folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A USB device's sysfs name: "<bus>-<port>[.<port>...]". Interfaces
// ("1-2:1.0") and root hubs ("usb1") are not devices on a hub port.
bool isHubPortDevice(const std::string &name)
{
    if (name.empty() || !std::isdigit(static_cast<unsigned char>(name[0])))
        return false;
    if (name.find('-') == std::string::npos)
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '.';
    });
}

// The port on the parent hub: the last number of the name.
std::optional<int> portOf(const std::string &name)
{
    const std::size_t cut = name.find_last_of("-.");
    if (cut == std::string::npos || cut + 1 >= name.size())
        return std::nullopt;
    return std::stoi(name.substr(cut + 1));
}

// "COM12" -> 12; nothing for any other name.
std::optional<int> comNumber(const std::string &name)
{
    if (name.size() < 4 || name.compare(0, 3, "COM") != 0 || name.size() > 6)
        return std::nullopt;
    if (!std::all_of(name.begin() + 3, name.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
        return std::nullopt;
    return std::stoi(name.substr(3));
}

} // namespace

UsbPortMap::UsbPortMap(std::string sysRoot, std::string devRoot)
    : sysRoot_(std::move(sysRoot)), devRoot_(std::move(devRoot))
{
}

std::optional<std::string> UsbPortMap::ttyBehind(const std::string &devicePath) const
{
    const fs::path classTty = fs::path(sysRoot_) / "class" / "tty";
    fs::path current = devicePath;
    for (int step = 0; step < kMaxLinkSteps; ++step) {
        const std::string name = current.filename().string();
        if (!name.empty() && pathExists(classTty / name))
            return name;
        if (!isLink(current))
            return std::nullopt;
        std::error_code error;
        fs::path target = fs::read_symlink(current, error);
        if (error)
            return std::nullopt;
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    return std::nullopt;
}

std::optional<std::string> UsbPortMap::usbDeviceFolder(const std::string &identifier) const
{
    if (!isHubPortDevice(identifier))
        return std::nullopt;
    const auto folder = resolvedPath(fs::path(sysRoot_) / "bus" / "usb" / "devices" / identifier);
    if (!folder || !pathExists(*folder / "busnum"))
        return std::nullopt;
    return folder->string();
}

std::optional<std::string> UsbPortMap::deviceForCom(int com) const
{
    if (com < 1 || com > 256)
        return std::nullopt;
    std::string path = devRoot_ + "/COM" + std::to_string(com);
    if (!pathExists(path) && !isLink(path))
        path = devRoot_ + "/ttyS" + std::to_string(com - 1);
    const auto tty = ttyBehind(path);
    return tty ? deviceOfTty(*tty) : std::nullopt;
}

std::optional<std::string> UsbPortMap::deviceOfTty(const std::string &tty) const
{
    const auto folder = resolvedPath(fs::path(sysRoot_) / "class" / "tty" / tty);
    const auto top = resolvedPath(sysRoot_);
    if (!folder || !top)
        return std::nullopt;
    // The nearest USB device above the tty; a tty below a hub's child is
    // that child's, not the hub's.
    for (fs::path at = folder->parent_path(); at != *top && at.has_relative_path();
         at = at.parent_path()) {
        if (pathExists(at / "busnum")) {
            const std::string name = at.filename().string();
            return isHubPortDevice(name) ? std::optional<std::string>(name) : std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<HubPosition> UsbPortMap::positionOf(const std::string &identifier) const
{
    const auto folder = usbDeviceFolder(identifier);
    if (!folder)
        return std::nullopt;
    const auto hub = readNumber(fs::path(*folder).parent_path() / "devnum");
    const auto port = portOf(identifier);
    if (!hub || !port)
        return std::nullopt;
    return HubPosition{*hub, *port};
}

std::optional<std::string> UsbPortMap::deviceAt(const HubPosition &position) const
{
    for (const std::string &name : entries(fs::path(sysRoot_) / "bus" / "usb" / "devices")) {
        const auto at = positionOf(name);
        if (at && at->hub == position.hub && at->port == position.port)
            return name;
    }
    return std::nullopt;
}

std::optional<int> UsbPortMap::comFor(const std::string &identifier) const
{
    const auto folder = usbDeviceFolder(identifier);
    if (!folder)
        return std::nullopt;
    // The device's ttys: those of sysfs's tty class that it carries.
    std::vector<std::string> ttys;
    for (const std::string &name : entries(fs::path(sysRoot_) / "class" / "tty")) {
        if (deviceOfTty(name) == identifier)
            ttys.push_back(name);
    }
    std::optional<int> lowest;
    for (const std::string &name : entries(devRoot_)) {
        const auto number = comNumber(name);
        if (!number || *number < 1 || *number > 256 || (lowest && *number >= *lowest))
            continue;
        const auto tty = ttyBehind(devRoot_ + "/" + name);
        if (tty && std::find(ttys.begin(), ttys.end(), *tty) != ttys.end())
            lowest = number;
    }
    return lowest;
}

} // namespace portscout
