// The PC/SC side of discovery and of the port, under arbitrary answers from
// the PC/SC service. This program defines the service's calls itself (its
// definitions come before the service library's), answering the way
// pcsc-lite does: double-terminated reader lists, nothing written beyond
// the buffer offered, too-small buffers refused. The input gives the result
// of each call and the bytes of each answer: reader names, the feature list,
// the vendor and serial attributes and the terminal's answer to one escape
// command. Discovery must list only the maker's readers, the port must
// never hand back more than it was offered, and every context opened must
// be released.

#include "FuzzInput.h"

#include "app/KLAVCommandLine.h"
#include "base/KLAVConfig.h"
#include "port/KLAVDeviceManager.h"
#include "port/KLAVPcscPort.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

struct Service {
    unsigned failures = 0; // bit per call: 1 establish, 2 list, 4 connect, 8 control, 16 attribute
    std::string readers;
    std::string features;
    std::string vendor;
    std::string serial;
    std::string answer;
    int contexts = 0;
    int cards = 0;
};

Service service;

bool fails(unsigned bit)
{
    return (service.failures & bit) != 0;
}

LONG copyOut(const std::string &bytes, void *buffer, DWORD capacity, DWORD *returned)
{
    if (bytes.size() > capacity) {
        *returned = DWORD(bytes.size());
        return SCARD_E_INSUFFICIENT_BUFFER;
    }
    if (!bytes.empty())
        std::memcpy(buffer, bytes.data(), bytes.size());
    *returned = DWORD(bytes.size());
    return SCARD_S_SUCCESS;
}

} // namespace

constexpr SCARDCONTEXT kContext = 0x100;

extern "C" {

LONG SCardEstablishContext(DWORD, LPCVOID, LPCVOID, LPSCARDCONTEXT context)
{
    if (fails(1))
        return SCARD_E_NO_SERVICE;
    ++service.contexts;
    *context = kContext;
    return SCARD_S_SUCCESS;
}

LONG SCardReleaseContext(SCARDCONTEXT context)
{
    if (context != kContext || service.contexts == 0)
        return SCARD_E_INVALID_HANDLE;
    --service.contexts;
    return SCARD_S_SUCCESS;
}

LONG SCardListReaders(SCARDCONTEXT, LPCSTR, LPSTR readers, LPDWORD length)
{
    if (fails(2))
        return SCARD_E_NO_READERS_AVAILABLE;
    std::string list = service.readers;
    list.push_back('\0');
    list.push_back('\0');
    require(*length == SCARD_AUTOALLOCATE); // the only form the loader uses
    char *made = static_cast<char *>(std::malloc(list.size()));
    std::memcpy(made, list.data(), list.size());
    *reinterpret_cast<char **>(readers) = made;
    *length = DWORD(list.size());
    return SCARD_S_SUCCESS;
}

LONG SCardFreeMemory(SCARDCONTEXT, LPCVOID memory)
{
    std::free(const_cast<void *>(memory));
    return SCARD_S_SUCCESS;
}

LONG SCardConnect(SCARDCONTEXT context, LPCSTR, DWORD, DWORD, LPSCARDHANDLE card, LPDWORD protocol)
{
    if (context != kContext || service.contexts == 0)
        return SCARD_E_INVALID_HANDLE;
    if (fails(4))
        return SCARD_E_UNKNOWN_READER;
    ++service.cards;
    *card = 0x200;
    *protocol = 0;
    return SCARD_S_SUCCESS;
}

LONG SCardDisconnect(SCARDHANDLE, DWORD)
{
    --service.cards;
    return SCARD_S_SUCCESS;
}

LONG SCardControl(SCARDHANDLE, DWORD code, LPCVOID, DWORD, LPVOID received, DWORD capacity,
                  LPDWORD returned)
{
    if (fails(8))
        return SCARD_E_NOT_TRANSACTED;
    const bool featureRequest = code == SCARD_CTL_CODE(3400);
    return copyOut(featureRequest ? service.features : service.answer, received, capacity,
                   returned);
}

LONG SCardGetAttrib(SCARDHANDLE, DWORD attribute, LPBYTE buffer, LPDWORD length)
{
    if (fails(16))
        return SCARD_E_UNSUPPORTED_FEATURE;
    const std::string &value =
        attribute == SCARD_ATTR_VENDOR_NAME ? service.vendor : service.serial;
    return copyOut(value, buffer, *length, length);
}

} // extern "C"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    service = Service();
    service.failures = in.byte();
    service.readers = in.chunk(in.byte());
    service.features = in.chunk(in.byte() * 2);
    service.vendor = in.chunk(in.byte() * 2);
    service.serial = in.chunk(in.byte());
    const int capacity = in.byte() * 128;
    service.answer = in.rest();
    g_consoleMode = true;

    {
        KLAVDeviceManager manager(UsbTtyEnumerator("/nonexistent/sys", "/nonexistent/dev"),
                                  {g_config.VID, g_config.PID});
        manager.clearDeviceList();
        manager.findAllPCSCDevices();
        for (const KLAVDevice &device : manager.getDeviceList()) {
            require(device.isPCSC());
            require(service.readers.find(device.getLpFileName()) != std::string::npos);
        }
    }
    require(service.contexts == 0 && service.cards == 0);

    {
        KLAVPcscPort port("reader 0");
        const uint8_t command[] = {0x2F, 0xC0, 0x04, 0x00, 0x78, 0x01, 0x2C, 0xB8, 0xE4};
        std::vector<uint8_t> response(size_t(capacity) + 1, 0xA5);
        int32_t length = capacity;
        const bool ok =
            port.ExecuteCommand(command, sizeof command, response.data(), &length, 500, 3000);
        require(length >= 0 && length <= capacity);
        require(response[size_t(capacity)] == 0xA5);
        if (ok)
            require(std::memcmp(response.data(), service.answer.data() + 2, size_t(length)) == 0);
        port.closePort();
    }
    require(service.contexts == 0 && service.cards == 0);
    return 0;
}
