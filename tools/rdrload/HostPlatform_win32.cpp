#include "HostPlatform.h"

#include <cstdio>
#include <io.h>
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
