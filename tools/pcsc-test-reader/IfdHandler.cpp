// The driver interface (version 3) that pcscd calls: each reader of the
// daemon's configuration names its test reader file as its device; pcscd
// numbers the unit of slot s of reader r as (r << 16) | s.

#include "TestReader.h"
#include "TestReaderConfig.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#define KLAV_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Registry {
    std::mutex mutex;
    std::map<DWORD, std::shared_ptr<TestReader>> readers; // by reader number
    std::map<DWORD, std::shared_ptr<TestReader>> units;   // by unit number
};

Registry &registry()
{
    static Registry instance;
    return instance;
}

DWORD readerNumber(DWORD lun)
{
    return lun >> 16;
}

DWORD slotNumber(DWORD lun)
{
    return lun & 0xFFFF;
}

std::shared_ptr<TestReader> readerOf(DWORD lun)
{
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto found = r.units.find(lun);
    return found == r.units.end() ? nullptr : found->second;
}

} // namespace

KLAV_EXPORT RESPONSECODE IFDHCreateChannelByName(DWORD Lun, LPSTR DeviceName)
{
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto reader = r.readers.find(readerNumber(Lun));
    if (reader != r.readers.end()) { // a further slot of a reader already set up
        r.units[Lun] = reader->second;
        return IFD_SUCCESS;
    }
    TestReaderConfig config;
    std::string error;
    if (!DeviceName || !config.load(DeviceName, error)) {
        std::fprintf(stderr, "klav test reader: %s\n",
                     DeviceName ? error.c_str() : "no configuration file given");
        return IFD_COMMUNICATION_ERROR;
    }
    auto created = std::make_shared<TestReader>(std::move(config));
    r.readers[readerNumber(Lun)] = created;
    r.units[Lun] = created;
    return IFD_SUCCESS;
}

KLAV_EXPORT RESPONSECODE IFDHCreateChannel(DWORD Lun, DWORD Channel)
{
    (void)Channel;
    std::fprintf(stderr,
                 "klav test reader: unit %lu has no configuration file: give its path as "
                 "DEVICENAME\n",
                 (unsigned long)Lun);
    return IFD_COMMUNICATION_ERROR;
}

KLAV_EXPORT RESPONSECODE IFDHCloseChannel(DWORD Lun)
{
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto unit = r.units.find(Lun);
    if (unit == r.units.end())
        return IFD_SUCCESS;
    std::shared_ptr<TestReader> reader = unit->second;
    r.units.erase(unit);
    for (const auto &other : r.units) {
        if (other.second == reader)
            return IFD_SUCCESS; // another slot still uses it
    }
    r.readers.erase(readerNumber(Lun));
    return IFD_SUCCESS;
}

KLAV_EXPORT RESPONSECODE IFDHGetCapabilities(DWORD Lun, DWORD Tag, PDWORD Length, PUCHAR Value)
{
    if (!Length)
        return IFD_COMMUNICATION_ERROR;
    std::shared_ptr<TestReader> reader = readerOf(Lun);
    if (!reader) {
        *Length = 0;
        return IFD_NO_SUCH_DEVICE;
    }
    DWORD length = Value ? *Length : 0;
    RESPONSECODE result = reader->capability(Tag, Value, length);
    *Length = length;
    return result;
}

KLAV_EXPORT RESPONSECODE IFDHSetCapabilities(DWORD Lun, DWORD Tag, DWORD Length, PUCHAR Value)
{
    (void)Lun, (void)Tag, (void)Length, (void)Value;
    return IFD_ERROR_TAG;
}

KLAV_EXPORT RESPONSECODE IFDHSetProtocolParameters(DWORD Lun, DWORD Protocol, UCHAR Flags,
                                                   UCHAR PTS1, UCHAR PTS2, UCHAR PTS3)
{
    (void)Lun, (void)Protocol, (void)Flags, (void)PTS1, (void)PTS2, (void)PTS3;
    return IFD_NOT_SUPPORTED;
}

KLAV_EXPORT RESPONSECODE IFDHPowerICC(DWORD Lun, DWORD Action, PUCHAR Atr, PDWORD AtrLength)
{
    (void)Lun, (void)Action, (void)Atr;
    if (AtrLength)
        *AtrLength = 0;
    return IFD_ERROR_POWER_ACTION; // there is never a card
}

KLAV_EXPORT RESPONSECODE IFDHTransmitToICC(DWORD Lun, SCARD_IO_HEADER SendPci, PUCHAR TxBuffer,
                                           DWORD TxLength, PUCHAR RxBuffer, PDWORD RxLength,
                                           PSCARD_IO_HEADER RecvPci)
{
    (void)Lun, (void)SendPci, (void)TxBuffer, (void)TxLength, (void)RxBuffer, (void)RecvPci;
    if (RxLength)
        *RxLength = 0;
    return IFD_ICC_NOT_PRESENT;
}

KLAV_EXPORT RESPONSECODE IFDHICCPresence(DWORD Lun)
{
    std::shared_ptr<TestReader> reader = readerOf(Lun);
    if (!reader)
        return IFD_NO_SUCH_DEVICE;
    return reader->presence(slotNumber(Lun));
}

KLAV_EXPORT RESPONSECODE IFDHControl(DWORD Lun, DWORD dwControlCode, PUCHAR TxBuffer,
                                     DWORD TxLength, PUCHAR RxBuffer, DWORD RxLength,
                                     LPDWORD pdwBytesReturned)
{
    DWORD returned = 0;
    std::shared_ptr<TestReader> reader = readerOf(Lun);
    RESPONSECODE result = IFD_NO_SUCH_DEVICE;
    if (reader)
        result = reader->control(dwControlCode, TxBuffer, TxLength, RxBuffer, RxLength, returned);
    if (pdwBytesReturned)
        *pdwBytesReturned = returned;
    return result;
}
