#include "RdrloadLibrary.h"

#include <dlfcn.h>

RdrloadLibrary::~RdrloadLibrary()
{
    if (handle_ != nullptr)
        ::dlclose(handle_);
}

template <typename Function>
bool RdrloadLibrary::resolve(const char *name, Function &function, std::string &error)
{
    function = reinterpret_cast<Function>(::dlsym(handle_, name));
    if (function == nullptr)
        error = std::string("no export ") + name;
    return function != nullptr;
}

bool RdrloadLibrary::load(const std::string &path, std::string &error)
{
    handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char *why = ::dlerror();
        error = why != nullptr ? why : "dlopen failed";
        return false;
    }
    return resolve("LoadBuffer_", LoadBuffer_, error) &&
           resolve("FreeBuffer_", FreeBuffer_, error) &&
           resolve("OpenSession_", OpenSession_, error) &&
           resolve("CloseSession_", CloseSession_, error);
}
