// rdrload.dll as a Windows host meets it: loaded with LoadLibraryA, exports
// found by their plain names with GetProcAddress, version resource read back
// with the version API, a port HANDLE of the host's own given to
// SetLevel_DTR_RTS_; PortScout.dll as rdrload.dll loads it. (CHost.c closes
// the handle SetLevel_DTR_RTS_ opens and downloads through the port again.)

#include "WineReaders.h"
#include "rdrload.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>
#include <windows.h>

namespace {

class Dll {
public:
    Dll() : module_(::LoadLibraryA(RDRLOAD_DLL)) {}
    ~Dll()
    {
        if (module_ != nullptr)
            ::FreeLibrary(module_);
    }
    Dll(const Dll &) = delete;
    Dll &operator=(const Dll &) = delete;
    HMODULE module() const { return module_; }
    template <typename Function> Function find(const char *name) const
    {
        return reinterpret_cast<Function>(
            reinterpret_cast<void *>(::GetProcAddress(module_, name)));
    }

private:
    HMODULE module_;
};

} // namespace

TEST(WineLibrary, HostsFindTheExportsByTheirPlainNames)
{
    Dll dll;
    ASSERT_NE(dll.module(), nullptr) << "LoadLibraryA failed: " << ::GetLastError();
    using LoadBufferFn = int (*)(char *, unsigned char **, unsigned long *, ProgressCallback);
    using FreeBufferFn = int (*)(unsigned char *);
    using SessionFn = int (*)();
#if defined(__i386__)
    // A member function takes its target in ECX on 32-bit Windows.
    using AssignFn = Param &(__thiscall *)(Param *, const Param &);
#else
    using AssignFn = Param &(*)(Param *, const Param &);
#endif
    auto load = dll.find<LoadBufferFn>("LoadBuffer_");
    auto release = dll.find<FreeBufferFn>("FreeBuffer_");
    auto open = dll.find<SessionFn>("OpenSession_");
    auto close = dll.find<SessionFn>("CloseSession_");
    ASSERT_NE(load, nullptr);
    ASSERT_NE(release, nullptr);
    ASSERT_NE(open, nullptr);
    ASSERT_NE(close, nullptr);
    // Param::operator= takes the target as its hidden first argument.
    auto assign = dll.find<AssignFn>("_ZN5ParamaSERKS_");
    ASSERT_NE(assign, nullptr);

    char path[MAX_PATH] = {};
    char folder[MAX_PATH] = {};
    ASSERT_GT(::GetTempPathA(MAX_PATH, folder), 0u);
    ASSERT_NE(::GetTempFileNameA(folder, "rdr", 0, path), 0u);
    std::FILE *file = std::fopen(path, "wb");
    ASSERT_NE(file, nullptr);
    const unsigned char bytes[] = {'r', 0x1a, '\r', '\n', 0x00, 0xff}; // no text translation
    std::fwrite(bytes, 1, sizeof bytes, file);
    std::fclose(file);

    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    EXPECT_EQ(open(), 0);
    ASSERT_EQ(load(path, &buffer, &size, nullptr), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), size),
              std::string(reinterpret_cast<const char *>(bytes), sizeof bytes));
    EXPECT_EQ(release(buffer), 0);
    EXPECT_EQ(close(), 0);
    ::DeleteFileA(path);

    Param source;
    Param target;
    for (int i = 0; i < 20; ++i) {
        source.bytes[i] = static_cast<unsigned char>(i + 1);
        target.bytes[i] = 0;
    }
    EXPECT_EQ(&assign(&target, source), &target);
    EXPECT_EQ(std::string(target.bytes, target.bytes + 20),
              std::string(source.bytes, source.bytes + 20));
}

TEST(WineLibrary, CarriesVersionOnePointZeroPointEight)
{
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(RDRLOAD_DLL, &ignored);
    ASSERT_GT(size, 0u);
    std::string info(size, '\0');
    ASSERT_TRUE(::GetFileVersionInfoA(RDRLOAD_DLL, 0, size, info.data()));
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueA(info.data(), "\\", reinterpret_cast<void **>(&fixed), &length));
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00080000u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00080000u);
    char *text = nullptr;
    ASSERT_TRUE(::VerQueryValueA(info.data(), "\\StringFileInfo\\040904b0\\ProductVersion",
                                 reinterpret_cast<void **>(&text), &length));
    EXPECT_STREQ(text, "1.0.8.0");
    std::printf("rdrload.dll file version %u.%u.%u.%u, product version %s\n",
                HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS), text);
}

// What Wine can show of PortScout.dll: its four plain names, the status for
// a null argument, and "not found" where Wine's device tree has no USB
// serial device (COM ports mapped to ptys are not devices of the Ports
// class there). Finding real devices is tested only on Windows.
TEST(WineLibrary, PortScoutAnswersWhatWineKnows)
{
    HMODULE helper = ::LoadLibraryA(PORTSCOUT_DLL);
    ASSERT_NE(helper, nullptr) << "LoadLibraryA failed: " << ::GetLastError();
    using DriverByCom = uint8_t(__stdcall *)(int32_t, wchar_t *);
    using PositionByDriver = uint8_t(__stdcall *)(const wchar_t *, int32_t *, int32_t *);
    using DriverByPosition = uint8_t(__stdcall *)(int32_t, int32_t, wchar_t *);
    using ComByDriver = uint8_t(__stdcall *)(const wchar_t *, wchar_t *);
    auto find = [helper](const char *name) {
        return reinterpret_cast<void *>(::GetProcAddress(helper, name));
    };
    auto driverByCom = reinterpret_cast<DriverByCom>(find("searchDriverByComPemtal"));
    auto positionByDriver = reinterpret_cast<PositionByDriver>(find("searchPositionByDriver"));
    auto driverByPosition = reinterpret_cast<DriverByPosition>(find("searchDriverByPosition"));
    auto comByDriver = reinterpret_cast<ComByDriver>(find("searchComByDriverPemtal"));
    ASSERT_NE(driverByCom, nullptr);
    ASSERT_NE(positionByDriver, nullptr);
    ASSERT_NE(driverByPosition, nullptr);
    ASSERT_NE(comByDriver, nullptr);

    wchar_t identifier[200] = L"untouched";
    wchar_t comName[100] = L"untouched";
    int32_t hub = -1;
    int32_t port = -1;
    const wchar_t *device = L"USB\\VID_0C59&PID_0012\\0001";
    EXPECT_EQ(driverByCom(7, nullptr), 2);
    EXPECT_EQ(positionByDriver(nullptr, &hub, &port), 2);
    EXPECT_EQ(driverByPosition(1, 1, nullptr), 2);
    EXPECT_EQ(comByDriver(device, nullptr), 2);
    EXPECT_EQ(driverByCom(7, identifier), 1);
    EXPECT_EQ(positionByDriver(device, &hub, &port), 1);
    EXPECT_EQ(driverByPosition(1, 1, identifier), 1);
    EXPECT_EQ(comByDriver(device, comName), 1);
    EXPECT_EQ(std::wstring(identifier), L"untouched");
    EXPECT_EQ(std::wstring(comName), L"untouched");
    EXPECT_EQ(hub, -1);
    EXPECT_EQ(port, -1);
    ::FreeLibrary(helper);
}

namespace {

using SetLevelFn = int (*)(unsigned char, int, int, void **);

DCB commState(HANDLE handle)
{
    DCB dcb;
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    EXPECT_TRUE(::GetCommState(handle, &dcb)) << "GetCommState failed: " << ::GetLastError();
    return dcb;
}

} // namespace

// A HANDLE the host opened itself is used as it is (its own line settings
// kept, only the two lines changed) and is still the host's afterwards.
TEST(WineLibrary, AHandleTheHostOpenedItselfIsUsedAndLeftOpen)
{
    using namespace rdrload::testing;
    if (!wineReadersPresent())
        GTEST_SKIP() << "no simulated readers: run through scripts/wine-tests";
    Dll dll;
    ASSERT_NE(dll.module(), nullptr);
    auto setLevel = dll.find<SetLevelFn>("SetLevel_DTR_RTS_");
    ASSERT_NE(setLevel, nullptr);

    HANDLE own = ::CreateFileA("\\\\.\\COM7", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(own, INVALID_HANDLE_VALUE) << "CreateFileA failed: " << ::GetLastError();
    // The port is closed on every way out: the link tests after this one need it.
    struct Closer {
        HANDLE handle;
        ~Closer()
        {
            if (handle != INVALID_HANDLE_VALUE)
                ::CloseHandle(handle);
        }
    } closer{own};
    DCB settings = commState(own);
    settings.BaudRate = 19200;
    ASSERT_TRUE(::SetCommState(own, &settings)) << "SetCommState failed: " << ::GetLastError();

    void *handle = own;
    EXPECT_EQ(setLevel(kAckReaderPort, 0, 1, &handle), 0);
    EXPECT_EQ(handle, own);
    // Not reopened or reconfigured: the host's own rate stays.
    EXPECT_EQ(commState(own).BaudRate, 19200u);
    closer.handle = INVALID_HANDLE_VALUE;
    EXPECT_TRUE(::CloseHandle(own)) << "CloseHandle failed: " << ::GetLastError();

    // A handle that names no port: the line calls fail, nothing else happens.
    void *stale = own;
    EXPECT_EQ(setLevel(kAckReaderPort, 1, 1, &stale), 0);
    EXPECT_EQ(stale, own);
}
