// A PortScout helper without searchComByDriverPemtal, for the lookup test.

#include <cstdint>
#include <cwchar>

extern "C" __attribute__((visibility("default"))) uint8_t searchDriverByComPemtal(int32_t,
                                                                                  wchar_t *)
{
    return 1;
}

extern "C" __attribute__((visibility("default"))) uint8_t
searchPositionByDriver(const wchar_t *, int32_t *, int32_t *)
{
    return 1;
}

extern "C" __attribute__((visibility("default"))) uint8_t searchDriverByPosition(int32_t, int32_t,
                                                                                 wchar_t *)
{
    return 1;
}
