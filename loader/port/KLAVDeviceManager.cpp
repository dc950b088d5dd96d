#include "KLAVDeviceManager.h"

#include "base/KLAVLog.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// The vendor name PC/SC readers of the terminal maker report.
const char *const kPcscVendorName = "Velantra";

// Equal texts, ASCII letters compared without case.
bool sameTextIgnoringCase(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : char(c); };
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

} // namespace

KLAVDeviceManager::KLAVDeviceManager(SupportedIds ids)
    : KLAVDeviceManager(UsbTtyEnumerator(), std::move(ids))
{
}

KLAVDeviceManager::KLAVDeviceManager(UsbTtyEnumerator enumerator, SupportedIds ids)
    : enumerator_(std::move(enumerator)), ids_(std::move(ids))
{
    discover();
}

void KLAVDeviceManager::discover()
{
    devices_.clear();
    findSerialDevices();
    findAllPCSCDevices();
}

KLAVDeviceManager::~KLAVDeviceManager() = default;

void KLAVDeviceManager::findSerialDevices()
{
    KLAVLogScope scope("KLAVDeviceManager::findSerialDevices");
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
}

void KLAVDeviceManager::addIfSupported(const KLAVDevice &device)
{
    if (ids_.vid.empty() || ids_.pid.empty()) {
        devices_.push_back(device);
        writeLog(LOG_INFO, "No information of supported devices, one new device added");
        return;
    }
    std::string vid = device.getVID();
    std::string pid = device.getPID();
    const size_t pairs =
        std::min(ids_.vid.size(), ids_.pid.size()); // an entry without a partner is ignored
    for (size_t i = 0; i < pairs; ++i) {
        if (identifiersMatch(vid, ids_.vid[i]) && identifiersMatch(pid, ids_.pid[i])) {
            devices_.push_back(device);
            writeLog(LOG_INFO, "One supported device was found");
            return;
        }
    }
}

void KLAVDeviceManager::findAllPCSCDevices()
{
    KLAVLogScope scope("KLAVDeviceManager::findAllPCSCDevices");
    std::string lastSerial;

    SCARDCONTEXT context = 0;
    bool haveContext =
        SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) == SCARD_S_SUCCESS;
    char *readers = nullptr;
    if (haveContext) {
        DWORD length = SCARD_AUTOALLOCATE;
        if (SCardListReaders(context, nullptr, reinterpret_cast<char *>(&readers), &length) !=
            SCARD_S_SUCCESS)
            readers = nullptr;
    }

    // A double-terminated list: each name ends with a zero, an empty name
    // ends the list.
    for (const char *reader = readers; reader && *reader; reader += std::strlen(reader) + 1)
        addIfMakersReader(context, reader, lastSerial);

    if (readers)
        SCardFreeMemory(context, readers);
    if (haveContext)
        SCardReleaseContext(context);
}

// Lists one PC/SC reader when its vendor is the maker and it is not another
// slot of the reader listed just before (same serial number as the last
// one seen).
void KLAVDeviceManager::addIfMakersReader(SCARDCONTEXT context, const char *reader,
                                          std::string &lastSerial)
{
    writeLog(LOG_INFO, "findAllPCSCDevices : Try reader %s", reader);
    SCARDHANDLE card = 0;
    DWORD protocol = 0;
    LONG result = SCardConnect(context, reader, SCARD_SHARE_DIRECT, 0, &card, &protocol);
    if (result != SCARD_S_SUCCESS) {
        writeLog(LOG_INFO, "findAllPCSCDevices SCardConnect failed Error : 0x%x\n",
                 unsigned(uint32_t(result)));
        return;
    }

    std::string vendor;
    result = readTextAttribute(card, SCARD_ATTR_VENDOR_NAME, vendor);
    if (result != SCARD_S_SUCCESS) {
        writeLog(LOG_INFO, "findAllPCSCDevices cannot get SCARD_ATTR_VENDOR_NAME Error : 0x%x\n",
                 unsigned(uint32_t(result)));
    } else if (!sameTextIgnoringCase(vendor, kPcscVendorName)) {
        writeLog(LOG_INFO, "findAllPCSCDevices : Not an Velantra reader");
    } else {
        std::string name = reader;
        std::string serial;
        readTextAttribute(card, SCARD_ATTR_VENDOR_IFD_SERIAL_NO, serial); // none reads as empty
        if (serial == lastSerial) {
            writeLog(LOG_INFO, "Another Slot of the same reader, continue...");
        } else {
            lastSerial = serial;
            if (name.find(serial) == std::string::npos) {
                writeLog(LOG_INFO, "findAllPCSCDevices : serial number not in PCSC name");
                name += " (" + serial + ")";
            }
            writeLog(LOG_INFO, "found reader : %s", name.c_str());
            devices_.push_back(
                KLAVDevice(reader, reader, KLAVDevice::kPcscPort, name, usbDeviceInterfaceClass()));
        }
    }
    SCardDisconnect(card, SCARD_LEAVE_CARD);
}

// A text attribute of the reader, read into a buffer of kAttributeSize bytes
// and taken up to its returned length or its first zero byte. Empty when the
// reader does not give it.
LONG KLAVDeviceManager::readTextAttribute(SCARDHANDLE card, DWORD attribute, std::string &text)
{
    char buffer[kAttributeSize + 1];
    std::memset(buffer, 0, sizeof buffer);
    DWORD length = kAttributeSize;
    LONG result = SCardGetAttrib(card, attribute, reinterpret_cast<BYTE *>(buffer), &length);
    if (result != SCARD_S_SUCCESS || length > kAttributeSize)
        length = 0;
    buffer[length] = '\0';
    text = buffer;
    return result;
}

std::vector<std::string> KLAVDeviceManager::presence() const
{
    std::vector<std::string> present;
    const UsbSerialScan scan = enumerator_.scan();
    for (const UsbSerialInterface &item : scan.interfaces)
        present.push_back(item.interfacePath + '\n' + item.portName);

    SCARDCONTEXT context = 0;
    if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS)
        return present;
    char *readers = nullptr;
    DWORD length = SCARD_AUTOALLOCATE;
    if (SCardListReaders(context, nullptr, reinterpret_cast<char *>(&readers), &length) ==
        SCARD_S_SUCCESS) {
        for (const char *reader = readers; reader && *reader; reader += std::strlen(reader) + 1)
            present.push_back(std::string("PCSC\n") + reader);
        SCardFreeMemory(context, readers);
    }
    SCardReleaseContext(context);
    return present;
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
