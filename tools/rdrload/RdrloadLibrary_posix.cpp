#include "RdrloadLibrary.h"

#include <dlfcn.h>

RdrloadLibrary::~RdrloadLibrary()
{
    if (handle_ != nullptr)
        ::dlclose(handle_);
}

bool RdrloadLibrary::load(const std::string &path, std::string &error)
{
    handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char *why = ::dlerror();
        error = why != nullptr ? why : "dlopen failed";
        return false;
    }
    return true;
}

void *RdrloadLibrary::symbol(const char *name) const
{
    return handle_ != nullptr ? ::dlsym(handle_, name) : nullptr;
}
