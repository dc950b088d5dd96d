// USB serial ports from the Windows device-setup service: every present
// interface of the USB device class, with its friendly name and the
// "PortName" value of its device registry key. The port is opened through
// the interface path itself, so fileName is that path.

#include "UsbTtyEnumerator.h"

#include <windows.h>

#include <setupapi.h>

#include <utility>
#include <vector>

namespace {

// {A5DCBF10-6530-11D2-901F-00C04FB951ED}, the USB device interface class.
const GUID kUsbDeviceInterfaceClass = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

constexpr DWORD kFriendlyNameBytes = 300;
constexpr DWORD kPortNameBytes = 1024;

// Each 16-bit unit becomes one byte, its low byte (the names are ASCII).
std::string lowBytes(const wchar_t *text)
{
    std::string result;
    for (; text && *text; ++text)
        result.push_back(char(*text & 0xFF));
    return result;
}

std::string friendlyNameOf(HDEVINFO set, SP_DEVINFO_DATA &device)
{
    wchar_t name[kFriendlyNameBytes / sizeof(wchar_t) + 1] = {};
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_FRIENDLYNAME, nullptr,
                                           reinterpret_cast<BYTE *>(name), kFriendlyNameBytes,
                                           nullptr))
        return {};
    return lowBytes(name);
}

std::string portNameOf(HDEVINFO set, SP_DEVINFO_DATA &device)
{
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE)
        return {};
    wchar_t port[kPortNameBytes / sizeof(wchar_t) + 1] = {};
    DWORD size = kPortNameBytes;
    std::string result;
    if (RegQueryValueExW(key, L"PortName", nullptr, nullptr, reinterpret_cast<BYTE *>(port),
                         &size) == ERROR_SUCCESS)
        result = lowBytes(port);
    RegCloseKey(key);
    return result;
}

// The interface path and the device it belongs to; false when the detail
// record cannot be read.
bool detailOf(HDEVINFO set, SP_DEVICE_INTERFACE_DATA &interfaceData, std::string &path,
              SP_DEVINFO_DATA &device)
{
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, nullptr, 0, &size, nullptr);
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
        return false;
    std::vector<unsigned char> buffer(size + sizeof(wchar_t), 0);
    auto *detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W *>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    device = SP_DEVINFO_DATA{};
    device.cbSize = sizeof device;
    if (!SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, detail, size, nullptr, &device))
        return false;
    path = lowBytes(detail->DevicePath);
    return true;
}

} // namespace

UsbTtyEnumerator::UsbTtyEnumerator() = default;

// The device-setup service has no tree to point elsewhere: the roots are kept
// for the caller and the running system is read in either case.
UsbTtyEnumerator::UsbTtyEnumerator(std::string sysfsRoot, std::string devRoot)
    : sysfsRoot_(std::move(sysfsRoot)), devRoot_(std::move(devRoot))
{
}

UsbSerialScan UsbTtyEnumerator::scan() const
{
    UsbSerialScan result;
    HDEVINFO set = SetupDiGetClassDevsW(&kUsbDeviceInterfaceClass, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return result;
    result.opened = true;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof interfaceData;
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbDeviceInterfaceClass, index,
                                         &interfaceData))
            break; // ERROR_NO_MORE_ITEMS after the last; any other failure ends the list too
        UsbSerialInterface item;
        SP_DEVINFO_DATA device;
        if (!detailOf(set, interfaceData, item.interfacePath, device))
            continue;
        item.fileName = item.interfacePath;
        item.friendlyName = friendlyNameOf(set, device);
        if (!item.friendlyName.empty())
            item.portName = portNameOf(set, device);
        result.interfaces.push_back(std::move(item));
    }
    SetupDiDestroyDeviceInfoList(set);
    return result;
}
