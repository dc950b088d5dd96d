#include "PortScoutLoader.h"

#include <dlfcn.h>
#include <string>

namespace rdrload {

namespace {

// The folder of the shared object this code is in (librdrload.so, or the
// program it is linked into), with a trailing '/'; empty when unknown.
std::string ownFolder()
{
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void *>(&loadPortScout), &info) == 0 || info.dli_fname == nullptr)
        return std::string();
    std::string path = info.dli_fname;
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

void *openHelper()
{
    // Never closed: the functions are used again by later downloads.
    const std::string folder = ownFolder();
    if (!folder.empty()) {
        if (void *handle = ::dlopen((folder + portScoutFileName()).c_str(), RTLD_NOW | RTLD_LOCAL))
            return handle;
    }
    return ::dlopen(portScoutFileName(), RTLD_NOW | RTLD_LOCAL);
}

template <typename Function>
bool find(void *library, const char *name, Function &function, PortScoutLookup &lookup)
{
    function = reinterpret_cast<Function>(::dlsym(library, name));
    if (function == nullptr && lookup.missing.empty())
        lookup.missing = name;
    return function != nullptr;
}

} // namespace

const char *portScoutFileName()
{
    return "libPortScout.so";
}

PortScoutLookup loadPortScout()
{
    PortScoutLookup lookup;
    void *library = openHelper();
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
