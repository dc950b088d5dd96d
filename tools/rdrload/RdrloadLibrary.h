#pragma once

#include <string>

// librdrload loaded the way a host program loads it: dlopen by name, and
// each export looked up by its plain name with dlsym when it is needed. A
// library that lacks an export still loads; find() then says so.
class RdrloadLibrary {
public:
    RdrloadLibrary() = default;
    ~RdrloadLibrary();
    RdrloadLibrary(const RdrloadLibrary &) = delete;
    RdrloadLibrary &operator=(const RdrloadLibrary &) = delete;

    // Loads the library at `path` (a file name alone goes through the
    // dynamic loader's search); on failure returns false and says why.
    bool load(const std::string &path, std::string &error);

    // The export `name` as a function of type Function, or null.
    template <typename Function> Function find(const char *name) const
    {
        return reinterpret_cast<Function>(symbol(name));
    }

private:
    void *symbol(const char *name) const;

    void *handle_ = nullptr;
};
