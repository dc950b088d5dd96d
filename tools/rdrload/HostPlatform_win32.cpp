#include "HostPlatform.h"

#include <cstdio>
#include <io.h>
#include <string>
#include <windows.h>

namespace {

constexpr const char *kDllName = "rdrload.dll";

} // namespace

std::string defaultLibraryPath()
{
    char self[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return kDllName;
    std::string path(self, length);
    std::string beside = path.substr(0, path.find_last_of("\\/") + 1) + kDllName;
    return ::GetFileAttributesA(beside.c_str()) != INVALID_FILE_ATTRIBUTES ? beside : kDllName;
}

bool outputIsTerminal()
{
    return ::_isatty(::_fileno(stdout)) != 0;
}

std::string portDevice(unsigned char port, bool &present)
{
    const std::string name = "COM" + std::to_string(port);
    char target[512];
    const std::string device = "\\\\.\\" + name;
    present = ::QueryDosDeviceA(name.c_str(), target, sizeof target) != 0;
    if (!present) {
        // Not every system lists its ports there (Wine does not): the device
        // itself says, opened for no access. Only "no such file" means absent;
        // a port in use or not allowed is there.
        HANDLE handle = ::CreateFileA(device.c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        const DWORD error = ::GetLastError();
        if (handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle);
        present = handle != INVALID_HANDLE_VALUE ||
                  (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND);
    }
    return device;
}
