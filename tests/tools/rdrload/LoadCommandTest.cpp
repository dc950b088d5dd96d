// tools/rdrload-host run as a process, against the built librdrload.so.

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <vector>

using rdrload::testing::TempFolder;

namespace {

struct HostRun {
    int status = -1;
    std::string output;
};

HostRun runHost(const std::string &arguments)
{
    HostRun run;
    const std::string command = std::string(RDRLOAD_HOST) + " " + arguments + " 2>/dev/null";
    FILE *pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char chunk[1024];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
        run.output.append(chunk, got);
    int raw = ::pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

std::string quoted(const std::string &text)
{
    return "'" + text + "'";
}

} // namespace

TEST(RdrloadHost, LoadsAndFreesAFileThroughTheLibrary)
{
    TempFolder folder;
    std::vector<unsigned char> bytes;
    for (int i = 0; i < 70000; ++i)
        bytes.push_back(static_cast<unsigned char>(i * 31 + (i >> 8)));
    std::ofstream(folder.file("app.bin"), std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    uint32_t hash = 2166136261u;
    for (unsigned char byte : bytes) {
        hash ^= byte;
        hash *= 16777619u;
    }
    char expectedHash[16];
    std::snprintf(expectedHash, sizeof expectedHash, "0x%08x", hash);

    HostRun run = runHost("load " + quoted(folder.file("app.bin")));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "OpenSession_: 0\nLoadBuffer_: 0\nsize: 70000\nfnv1a: " +
                              std::string(expectedHash) +
                              "\nFreeBuffer_: 0\nCloseSession_: 0\n");
}

TEST(RdrloadHost, ReturnsTheResultOfAFailedLoad)
{
    TempFolder folder;
    HostRun run = runHost("load " + quoted(folder.file("missing.bin")));
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.output, "OpenSession_: 0\nLoadBuffer_: 3\nCloseSession_: 0\n");
}

TEST(RdrloadHost, UsesTheLibraryItIsGivenAndRefusesBadArguments)
{
    TempFolder folder;
    std::ofstream(folder.file("x.bin")) << "x";
    HostRun run = runHost("--library " + std::string(RDRLOAD_LIBRARY) + " load " +
                      quoted(folder.file("x.bin")));
    EXPECT_EQ(run.status, 0);

    run = runHost("--library " + quoted(folder.file("nothing.so")) + " load " +
                  quoted(folder.file("x.bin")));
    EXPECT_EQ(run.status, 69);
    EXPECT_TRUE(run.output.empty());

    EXPECT_EQ(runHost("").status, 64);
    EXPECT_EQ(runHost("upload x").status, 64);
}
