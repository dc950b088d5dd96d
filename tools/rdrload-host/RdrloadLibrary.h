#pragma once

#include <string>

// librdrload.so loaded the way a host program loads it: dlopen, and every
// export looked up by its plain name with dlsym.
class RdrloadLibrary {
public:
    using ProgressCallback = void (*)(void *);
    using LoadBufferFn = int (*)(char *, unsigned char **, unsigned long *, ProgressCallback);
    using FreeBufferFn = int (*)(unsigned char *);
    using SessionFn = int (*)(void);

    RdrloadLibrary() = default;
    ~RdrloadLibrary();
    RdrloadLibrary(const RdrloadLibrary &) = delete;
    RdrloadLibrary &operator=(const RdrloadLibrary &) = delete;

    // Loads the library and resolves every export; on failure returns false
    // and says why in `error`.
    bool load(const std::string &path, std::string &error);

    LoadBufferFn LoadBuffer_ = nullptr;
    FreeBufferFn FreeBuffer_ = nullptr;
    SessionFn OpenSession_ = nullptr;
    SessionFn CloseSession_ = nullptr;

private:
    template <typename Function>
    bool resolve(const char *name, Function &function, std::string &error);

    void *handle_ = nullptr;
};
