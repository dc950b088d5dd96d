#include "PortScoutLoader.h"

#include <string>
#include <windows.h>

namespace rdrload {

namespace {

// The folder of the module this code is in (rdrload.dll, or the program it
// is linked into), with a trailing '\'; empty when unknown.
std::string ownFolder()
{
    HMODULE self = nullptr;
    if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                  GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCSTR>(&loadPortScout), &self))
        return std::string();
    char path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::string();
    std::string folder(path, length);
    const std::size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

HMODULE openHelper()
{
    // Never freed: the functions are used again by later downloads.
    const std::string folder = ownFolder();
    if (!folder.empty()) {
        if (HMODULE module = ::LoadLibraryA((folder + portScoutFileName()).c_str()))
            return module;
    }
    return ::LoadLibraryA(portScoutFileName());
}

template <typename Function>
bool find(HMODULE library, const char *name, Function &function, PortScoutLookup &lookup)
{
    function =
        reinterpret_cast<Function>(reinterpret_cast<void *>(::GetProcAddress(library, name)));
    if (function == nullptr && lookup.missing.empty())
        lookup.missing = name;
    return function != nullptr;
}

} // namespace

const char *portScoutFileName()
{
    return "PortScout.dll";
}

PortScoutLookup loadPortScout()
{
    PortScoutLookup lookup;
    HMODULE library = openHelper();
    if (library == nullptr)
        return lookup;
    PortScoutFunctions &f = lookup.functions;
    bool all = find(library, kDriverByComName, f.driverByCom, lookup);
    all = find(library, kPositionByDriverName, f.positionByDriver, lookup) && all;
    all = find(library, kDriverByPositionName, f.driverByPosition, lookup) && all;
    all = find(library, kComByDriverName, f.comByDriver, lookup) && all;
    lookup.status =
        all ? PortScoutLookup::Status::Loaded : PortScoutLookup::Status::MissingFunction;
    return lookup;
}

} // namespace rdrload
