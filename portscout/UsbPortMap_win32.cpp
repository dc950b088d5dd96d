// The mapping on Windows, from the device tree: COM ports are the present
// devices of the Ports class with their "PortName" value; the USB device
// behind one is its nearest ancestor whose instance identifier starts with
// "USB\" and is not an interface of a composite device ("&MI_"); its hub
// position is its location text "Port_#0004.Hub_#0003".

#include "UsbPortMap.h"

#include <windows.h>

#include <cfgmgr32.h>
#include <cstdio>
#include <cstring>
#include <devguid.h>
#include <setupapi.h>
#include <vector>

namespace portscout {

namespace {

struct PortDevice {
    int com = 0;
    DEVINST instance = 0;
};

std::optional<std::string> instanceId(DEVINST instance)
{
    char id[MAX_DEVICE_ID_LEN + 1] = {};
    if (CM_Get_Device_IDA(instance, id, sizeof id, 0) != CR_SUCCESS)
        return std::nullopt;
    return std::string(id);
}

bool isUsbDevice(const std::string &id)
{
    return _strnicmp(id.c_str(), "USB\\", 4) == 0 && id.find("&MI_") == std::string::npos;
}

// The USB device at or above `instance`, as its instance identifier.
std::optional<std::string> usbDeviceAbove(DEVINST instance)
{
    for (int depth = 0; depth < 16; ++depth) {
        std::optional<std::string> id = instanceId(instance);
        if (!id)
            return std::nullopt;
        if (isUsbDevice(*id))
            return id;
        DEVINST parent = 0;
        if (CM_Get_Parent(&parent, instance, 0) != CR_SUCCESS)
            return std::nullopt;
        instance = parent;
    }
    return std::nullopt;
}

// "COM<n>" -> n; 0 for any other name.
int comNumber(const char *name)
{
    int number = 0;
    char rest = 0;
    if (_strnicmp(name, "COM", 3) != 0 || std::sscanf(name + 3, "%d%c", &number, &rest) != 1)
        return 0;
    return number > 0 ? number : 0;
}

// Every present COM port of the Ports class.
std::vector<PortDevice> presentPorts()
{
    std::vector<PortDevice> ports;
    HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return ports;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        char name[64] = {};
        DWORD size = sizeof name - 1;
        DWORD type = 0;
        if (RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE *>(name),
                             &size) == ERROR_SUCCESS &&
            type == REG_SZ) {
            if (int com = comNumber(name))
                ports.push_back(PortDevice{com, device.DevInst});
        }
        RegCloseKey(key);
    }
    SetupDiDestroyDeviceInfoList(set);
    return ports;
}

// "Port_#0004.Hub_#0003" -> hub 3, port 4.
std::optional<HubPosition> parseLocation(const char *text)
{
    HubPosition position;
    if (std::sscanf(text, "Port_#%d.Hub_#%d", &position.port, &position.hub) != 2)
        return std::nullopt;
    return position;
}

std::optional<HubPosition> locationOf(DEVINST instance)
{
    char text[256] = {};
    ULONG size = sizeof text - 1;
    if (CM_Get_DevNode_Registry_PropertyA(instance, CM_DRP_LOCATION_INFORMATION, nullptr, text,
                                          &size, 0) != CR_SUCCESS)
        return std::nullopt;
    return parseLocation(text);
}

} // namespace

// The roots name sysfs and /dev on Linux; Windows asks the device tree.
UsbPortMap::UsbPortMap(std::string sysRoot, std::string devRoot)
    : sysRoot_(std::move(sysRoot)), devRoot_(std::move(devRoot))
{
}

std::optional<std::string> UsbPortMap::deviceForCom(int com) const
{
    for (const PortDevice &port : presentPorts()) {
        if (port.com == com)
            return usbDeviceAbove(port.instance);
    }
    return std::nullopt;
}

std::optional<HubPosition> UsbPortMap::positionOf(const std::string &identifier) const
{
    DEVINST instance = 0;
    if (CM_Locate_DevNodeA(&instance, const_cast<char *>(identifier.c_str()),
                           CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS)
        return std::nullopt;
    return locationOf(instance);
}

std::optional<std::string> UsbPortMap::deviceAt(const HubPosition &position) const
{
    std::optional<std::string> found;
    HDEVINFO set = SetupDiGetClassDevsA(nullptr, "USB", nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return found;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; !found && SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        std::optional<std::string> id = instanceId(device.DevInst);
        if (!id || !isUsbDevice(*id))
            continue;
        std::optional<HubPosition> at = locationOf(device.DevInst);
        if (at && at->hub == position.hub && at->port == position.port)
            found = id;
    }
    SetupDiDestroyDeviceInfoList(set);
    return found;
}

std::optional<int> UsbPortMap::comFor(const std::string &identifier) const
{
    std::optional<int> lowest;
    for (const PortDevice &port : presentPorts()) {
        std::optional<std::string> device = usbDeviceAbove(port.instance);
        if (device && _stricmp(device->c_str(), identifier.c_str()) == 0 &&
            (!lowest || port.com < *lowest))
            lowest = port.com;
    }
    return lowest;
}

} // namespace portscout
