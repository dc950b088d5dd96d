#include "KLAVDeviceManager.h"

#include "app/KLAVConfig.h"
#include "app/KLAVLog.h"

#include <utility>

KLAVDeviceManager::KLAVDeviceManager() : KLAVDeviceManager(UsbTtyEnumerator()) {}

KLAVDeviceManager::KLAVDeviceManager(UsbTtyEnumerator enumerator)
    : enumerator_(std::move(enumerator))
{
    findSerialDevices();
    findAllPCSCDevices();
}

KLAVDeviceManager::~KLAVDeviceManager() = default;

void KLAVDeviceManager::findSerialDevices()
{
    writeLog(LOG_ENTER, "KLAVDeviceManager::findSerialDevices");
    devices_.clear();
    UsbSerialScan scan = enumerator_.scan();
    if (!scan.opened) {
        writeLog(LOG_ERROR, "Invalid device handler");
    } else {
        if (!scan.interfaces.empty())
            writeLog(LOG_INFO, "Device enumerating succeeded");
        else
            writeLog(LOG_ERROR, "Device enumerating failed");
        for (const UsbSerialInterface &item : scan.interfaces) {
            // Like a device without a friendly name or "PortName": not listed.
            if (item.friendlyName.empty() || item.portName.empty())
                continue;
            KLAVDevice device(item.interfacePath, item.fileName, item.portName,
                              cutFriendlyName(item.friendlyName), usbDeviceInterfaceClass());
            addIfSupported(device);
        }
    }
    writeLog(LOG_EXIT, "KLAVDeviceManager::findSerialDevices");
}

void KLAVDeviceManager::addIfSupported(const KLAVDevice &device)
{
    if (g_config.VID.empty() || g_config.PID.empty()) {
        devices_.push_back(device);
        writeLog(LOG_INFO, "No information of supported devices, one new device added");
        return;
    }
    std::string vid = device.getVID();
    std::string pid = device.getPID();
    for (size_t i = 0; i < g_config.supportedDeviceCount(); ++i) {
        if (identifiersMatch(vid, g_config.VID[i]) && identifiersMatch(pid, g_config.PID[i])) {
            devices_.push_back(device);
            writeLog(LOG_INFO, "One supported device was found");
            return;
        }
    }
}

void KLAVDeviceManager::findAllPCSCDevices()
{
    // The PC/SC search comes with the PC/SC port; until then it finds nothing.
    writeLog(LOG_ENTER, "KLAVDeviceManager::findAllPCSCDevices");
    writeLog(LOG_EXIT, "KLAVDeviceManager::findAllPCSCDevices");
}

std::vector<KLAVDevice> KLAVDeviceManager::getDeviceList() const
{
    writeLog(LOG_INFO, "KLAVDeviceManager::getDeviceList");
    return devices_;
}

void KLAVDeviceManager::clearDeviceList()
{
    devices_.clear();
}

bool KLAVDeviceManager::identifiersMatch(std::string value, std::string entry)
{
    if (!value.empty() && value.back() == '\r')
        value.pop_back();
    if (!entry.empty() && entry.back() == '\r')
        entry.pop_back();
    if (value.size() != entry.size())
        return false;
    auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : char(c); };
    for (size_t i = 0; i < value.size(); ++i) {
        if (lower(value[i]) != lower(entry[i]))
            return false;
    }
    return true;
}

std::string KLAVDeviceManager::cutFriendlyName(const std::string &friendlyName)
{
    size_t open = friendlyName.find('(');
    if (open == std::string::npos || open == 0)
        return friendlyName;
    return friendlyName.substr(0, open - 1);
}
