#include "PortScoutLibrary.h"

#include <string>
#include <windows.h>

namespace rdrload {

namespace {

// The folder of the module this code is in, with a trailing '\'; empty when
// unknown.
std::string ownFolder()
{
    HMODULE self = nullptr;
    if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                  GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCSTR>(&openPortScoutLibrary), &self))
        return std::string();
    char path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::string();
    std::string folder(path, length);
    const std::size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

} // namespace

const char *portScoutFileName()
{
    return "PortScout.dll";
}

void *openPortScoutLibrary()
{
    const std::string folder = ownFolder();
    if (!folder.empty()) {
        if (HMODULE module = ::LoadLibraryA((folder + portScoutFileName()).c_str()))
            return reinterpret_cast<void *>(module);
    }
    return reinterpret_cast<void *>(::LoadLibraryA(portScoutFileName()));
}

void *portScoutSymbol(void *library, const char *name)
{
    return reinterpret_cast<void *>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

} // namespace rdrload
