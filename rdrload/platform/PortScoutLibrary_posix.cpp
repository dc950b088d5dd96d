#include "PortScoutLibrary.h"

#include <dlfcn.h>
#include <string>

namespace rdrload {

namespace {

// The folder of the shared object this code is in, with a trailing '/';
// empty when unknown.
std::string ownFolder()
{
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void *>(&openPortScoutLibrary), &info) == 0 ||
        info.dli_fname == nullptr)
        return std::string();
    std::string path = info.dli_fname;
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

} // namespace

const char *portScoutFileName()
{
    return "libPortScout.so";
}

void *openPortScoutLibrary()
{
    const std::string folder = ownFolder();
    if (!folder.empty()) {
        if (void *handle = ::dlopen((folder + portScoutFileName()).c_str(), RTLD_NOW | RTLD_LOCAL))
            return handle;
    }
    return ::dlopen(portScoutFileName(), RTLD_NOW | RTLD_LOCAL);
}

void *portScoutSymbol(void *library, const char *name)
{
    return ::dlsym(library, name);
}

} // namespace rdrload
