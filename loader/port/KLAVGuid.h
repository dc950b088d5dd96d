#pragma once
// A 16-byte class identifier laid out as the platform's GUID record.

#include <cstdint>

struct KLAVGuid {
    uint32_t Data1 = 0;
    uint16_t Data2 = 0;
    uint16_t Data3 = 0;
    uint8_t Data4[8] = {0, 0, 0, 0, 0, 0, 0, 0};
};

inline bool operator==(const KLAVGuid &a, const KLAVGuid &b)
{
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i) {
        if (a.Data4[i] != b.Data4[i])
            return false;
    }
    return true;
}

// The USB device interface class {A5DCBF10-6530-11D2-901F-00C04FB951ED}: the
// class serial discovery searches, carried by every device record.
inline KLAVGuid usbDeviceInterfaceClass()
{
    KLAVGuid guid;
    guid.Data1 = 0xA5DCBF10;
    guid.Data2 = 0x6530;
    guid.Data3 = 0x11D2;
    const uint8_t tail[8] = {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED};
    for (int i = 0; i < 8; ++i)
        guid.Data4[i] = tail[i];
    return guid;
}
