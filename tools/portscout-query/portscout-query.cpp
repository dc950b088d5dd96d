// portscout-query: one round through the four PortScout functions, as a
// reader's firmware download makes it: the device behind COM n, its hub
// position, the device at that position, and that device's COM port.
//
//   portscout-query COM_NUMBER
//
// Prints "com N -> device ID -> hub H port P -> device ID -> COMn" and
// exits 0 when every step found its answer, else prints how far it came
// and exits 1.

#include "PortScout.h"

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

std::string narrow(const wchar_t *text)
{
    std::string out;
    for (; *text; ++text)
        out += *text < 0x80 ? char(*text) : '?';
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    char *end = nullptr;
    const long com = argc == 2 ? std::strtol(argv[1], &end, 10) : 0;
    if (argc != 2 || *end != '\0' || com < 1 || com > 256) {
        std::fputs("usage: portscout-query COM_NUMBER (1 to 256)\n", stderr);
        return 64;
    }
    wchar_t identifier[400 / sizeof(wchar_t)] = {};
    wchar_t again[400 / sizeof(wchar_t)] = {};
    wchar_t comName[200 / sizeof(wchar_t)] = {};
    int32_t hub = 0, port = 0;
    std::printf("com %ld", com);
    if (searchDriverByComPemtal(int32_t(com), identifier) != 0) {
        std::puts(" -> no device");
        return 1;
    }
    std::printf(" -> device %s", narrow(identifier).c_str());
    if (searchPositionByDriver(identifier, &hub, &port) != 0) {
        std::puts(" -> no hub position");
        return 1;
    }
    std::printf(" -> hub %d port %d", int(hub), int(port));
    if (searchDriverByPosition(hub, port, again) != 0) {
        std::puts(" -> no device at that position");
        return 1;
    }
    std::printf(" -> device %s", narrow(again).c_str());
    if (searchComByDriverPemtal(again, comName) != 0) {
        std::puts(" -> no COM port");
        return 1;
    }
    std::printf(" -> %s\n", narrow(comName).c_str());
    return std::wcscmp(identifier, again) == 0 ? 0 : 1;
}
