#include "RdrloadLibrary.h"

#include <windows.h>

RdrloadLibrary::~RdrloadLibrary()
{
    if (handle_ != nullptr)
        ::FreeLibrary(static_cast<HMODULE>(handle_));
}

bool RdrloadLibrary::load(const std::string &path, std::string &error)
{
    handle_ = ::LoadLibraryA(path.c_str());
    if (handle_ == nullptr) {
        error = "LoadLibraryA failed with error " + std::to_string(::GetLastError());
        return false;
    }
    return true;
}

void *RdrloadLibrary::symbol(const char *name) const
{
    if (handle_ == nullptr)
        return nullptr;
    return reinterpret_cast<void *>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
}
