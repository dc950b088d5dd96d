#pragma once
// Finds the connected terminals: USB serial devices whose vendor and product
// identifiers are a configured pair, then PC/SC readers of the maker. Keeps
// the list; callers take copies.

#include "platform/PcscApi.h"
#include "platform/UsbTtyEnumerator.h"
#include "port/KLAVDevice.h"

#include <string>
#include <vector>

class KLAVDeviceManager {
public:
    // The supported terminals: vendor and product identifiers, the entry at
    // one index of each list making a pair. No entry at all in either list:
    // every USB serial device is taken.
    struct SupportedIds {
        std::vector<std::string> vid;
        std::vector<std::string> pid;
    };

    // Runs one discovery on the running system's devices.
    explicit KLAVDeviceManager(SupportedIds ids);
    // Runs one discovery through the given enumerator (another device tree).
    KLAVDeviceManager(UsbTtyEnumerator enumerator, SupportedIds ids);
    virtual ~KLAVDeviceManager();

    // A new discovery: the list emptied, then the serial and PC/SC terminals.
    void discover();

    // Empties the list, then appends the supported USB serial terminals.
    void findSerialDevices();
    // Appends the PC/SC terminals; never empties the list.
    void findAllPCSCDevices();
    // What is plugged in, read without opening any port or reader and
    // without logging: each USB serial interface (path and port), then each
    // PC/SC reader name. Two equal results: nothing came or went between
    // them. Cheap enough to be asked every second.
    std::vector<std::string> presence() const;

    // A copy of the list: serial terminals first, then PC/SC terminals.
    std::vector<KLAVDevice> getDeviceList() const;
    void clearDeviceList();

    // A record's identifier against a configured entry: a trailing carriage
    // return is dropped from each, then equal length and equal bytes, ASCII
    // letters compared without case.
    static bool identifiersMatch(std::string value, std::string entry);

    // A friendly name without its parenthesised suffix: the text before the
    // first "(" less the byte just before it; whole when there is no "(" or
    // it comes first.
    static std::string cutFriendlyName(const std::string &friendlyName);

    // Room for a PC/SC reader attribute, a terminating zero comes after it.
    static constexpr DWORD kAttributeSize = 256;

private:
    void addIfSupported(const KLAVDevice &device);
    void addIfMakersReader(SCARDCONTEXT context, const char *reader, std::string &lastSerial);
    static LONG readTextAttribute(SCARDHANDLE card, DWORD attribute, std::string &text);

    UsbTtyEnumerator enumerator_;
    SupportedIds ids_;
    std::vector<KLAVDevice> devices_;
};
