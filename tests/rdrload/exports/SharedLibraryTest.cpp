// librdrload.so as a host program meets it: loaded with dlopen, exports
// found by their plain names, nothing else visible, no dependency beyond
// the C and C++ runtimes.

#include "CommandRun.h"
#include "TempFolder.h"
#include "rdrload.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <dlfcn.h>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

using rdrload::testing::runCommand;
using rdrload::testing::TempFolder;

namespace {

bool isSanitizerSymbol(const std::string &name)
{
    for (const char *prefix :
         {"__asan", "__odr_asan", "__tsan", "__ubsan", "__sanitizer", "__lsan"}) {
        if (name.rfind(prefix, 0) == 0)
            return true;
    }
    return false;
}

class Library {
public:
    Library() : handle_(::dlopen(RDRLOAD_LIBRARY, RTLD_NOW | RTLD_LOCAL)) {}
    ~Library()
    {
        if (handle_ != nullptr)
            ::dlclose(handle_);
    }
    void *handle() const { return handle_; }
    void *symbol(const char *name) const { return ::dlsym(handle_, name); }

private:
    void *handle_;
};

} // namespace

TEST(SharedLibrary, ExportsExactlyTheInterface)
{
    const std::string listing =
        runCommand(std::string(KLAV_NM) + " -D --defined-only " + RDRLOAD_LIBRARY).output;
    std::set<std::string> exported;
    std::istringstream lines(listing);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (!(fields >> address >> type >> name))
            continue;
        if (!isSanitizerSymbol(name) && name != "_init" && name != "_fini")
            exported.insert(name);
    }
    EXPECT_EQ(exported,
              (std::set<std::string>{"LoadBuffer_", "FreeBuffer_", "OpenSession_", "CloseSession_",
                                     "_ZN5ParamaSERKS_", "ApplicationDL_", "ApplicationDL_Lent_",
                                     "FirmwareDL_", "FirmLoaderDL_", "PacketDL_",
                                     "ThirdPartyUpdate_", "UploadData_", "ReaderPID_",
                                     "ReaderType_", "DownloadData_", "testMode_",
                                     "SetLevel_DTR_RTS_", "GetSerialNumber_", "GetClientTime_"}))
        << listing;
}

TEST(SharedLibrary, HostsFindTheExportsByTheirPlainNames)
{
    Library library;
    ASSERT_NE(library.handle(), nullptr) << ::dlerror();
    using LoadBufferFn = int (*)(char *, unsigned char **, unsigned long *, ProgressCallback);
    using FreeBufferFn = int (*)(unsigned char *);
    using SessionFn = int (*)();
    auto load = reinterpret_cast<LoadBufferFn>(library.symbol("LoadBuffer_"));
    auto release = reinterpret_cast<FreeBufferFn>(library.symbol("FreeBuffer_"));
    auto open = reinterpret_cast<SessionFn>(library.symbol("OpenSession_"));
    auto close = reinterpret_cast<SessionFn>(library.symbol("CloseSession_"));
    ASSERT_NE(load, nullptr);
    ASSERT_NE(release, nullptr);
    ASSERT_NE(open, nullptr);
    ASSERT_NE(close, nullptr);
    EXPECT_NE(library.symbol("_ZN5ParamaSERKS_"), nullptr);

    TempFolder folder;
    std::string path = folder.file("data.bin");
    std::ofstream(path, std::ios::binary) << "reader";
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    EXPECT_EQ(open(), 0);
    ASSERT_EQ(load(path.data(), &buffer, &size, nullptr), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), size), "reader");
    EXPECT_EQ(release(buffer), 0);
    EXPECT_EQ(close(), 0);
}

TEST(SharedLibrary, KeepsItsInternalsHidden)
{
    Library library;
    ASSERT_NE(library.handle(), nullptr) << ::dlerror();
    for (const char *internal :
         {"_ZN7rdrload8OpenPortEiPPNS_13SerialChannelEj",
          "_ZN7rdrload8CheckACKEPPNS_13SerialChannelEj", "_ZN7rdrload8PortLock5mutexEv"})
        EXPECT_EQ(library.symbol(internal), nullptr) << internal;
}

TEST(SharedLibrary, NeedsOnlyTheCAndCxxRuntimes)
{
    const std::string headers =
        runCommand(std::string(KLAV_OBJDUMP) + " -p " + RDRLOAD_LIBRARY).output;
    std::set<std::string> allowed{"libstdc++.so.6", "libm.so.6", "libgcc_s.so.1", "libc.so.6"};
    std::istringstream lines(headers);
    int needed = 0;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string tag, name;
        if (!(fields >> tag >> name) || tag != "NEEDED")
            continue;
        ++needed;
        const bool loader = name.rfind("ld-linux", 0) == 0;
        const bool sanitizerRuntime = name.rfind("libasan", 0) == 0 ||
                                      name.rfind("libubsan", 0) == 0 ||
                                      name.rfind("libtsan", 0) == 0;
        EXPECT_TRUE(allowed.count(name) > 0 || loader || sanitizerRuntime) << name;
    }
    EXPECT_GT(needed, 0) << headers;
}
