// The rdrload front end as a process against the built librdrload.so: the
// load command, the library it loads, the commands answered on the host,
// help and wrong command lines.

#include "FrontEndRun.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace rdrload::testing;

namespace {

FrontEndRun runHost(const std::string &arguments)
{
    return runFrontEnd(arguments);
}

} // namespace

TEST(FrontEnd, LoadsAndFreesAFileThroughTheLibrary)
{
    TempFolder folder;
    std::vector<unsigned char> bytes;
    for (int i = 0; i < 70000; ++i)
        bytes.push_back(static_cast<unsigned char>(i * 31 + (i >> 8)));
    std::ofstream(folder.file("app.bin"), std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    uint32_t hash = 2166136261u;
    for (unsigned char byte : bytes) {
        hash ^= byte;
        hash *= 16777619u;
    }
    char expectedHash[16];
    std::snprintf(expectedHash, sizeof expectedHash, "0x%08x", hash);

    FrontEndRun run = runHost("load " + quoted(folder.file("app.bin")));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "OpenSession_: 0\nLoadBuffer_: 0\nsize: 70000\nfnv1a: " +
                              std::string(expectedHash) + "\nFreeBuffer_: 0\nCloseSession_: 0\n");
}

TEST(FrontEnd, ReturnsTheResultOfAFailedLoad)
{
    TempFolder folder;
    FrontEndRun run = runHost("load " + quoted(folder.file("missing.bin")));
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.output, "OpenSession_: 0\nLoadBuffer_: 3\nCloseSession_: 0\n");
}

TEST(FrontEnd, LoadsTheLibraryItIsGivenAndRefusesBadCommandLines)
{
    TempFolder folder;
    std::ofstream(folder.file("x.bin")) << "x";
    // A library that cannot be loaded.
    const std::string missing = quoted(folder.file("nothing.so"));
    FILE *pipe = ::popen((std::string(RDRLOAD_FRONTEND) + " --library " + missing + " load " +
                          quoted(folder.file("x.bin")) + " 2>/dev/null")
                             .c_str(),
                         "r");
    ASSERT_NE(pipe, nullptr);
    char ignored[256];
    while (std::fread(ignored, 1, sizeof ignored, pipe) > 0) {
    }
    const int raw = ::pclose(pipe);
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 69);

    struct Case {
        const char *arguments;
        int status;
    };
    for (const Case &c :
         {Case{"", 64}, Case{"nonsense", 64}, Case{"upload", 64}, Case{"upload D", 64},
          Case{"upload D --port 256", 64}, Case{"upload DD --port 3", 64},
          Case{"test 300 --port 3", 64}, Case{"lines --port 3 --dtr 2 --rts 0", 64},
          Case{"download K --port 3", 64}, Case{"upload D --port 3 --bogus", 64},
          Case{"bootload a b c --port 3", 64}}) {
        FrontEndRun run = runHost(c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments;
        EXPECT_TRUE(run.output.empty()) << c.arguments;
        EXPECT_NE(run.errors.find("usage: rdrload"), std::string::npos) << c.arguments;
    }
}

TEST(FrontEnd, EveryCommandHasItsHelp)
{
    for (const char *command :
         {"application", "firmware", "bootload", "update", "packet", "upload", "download", "pid",
          "type", "test", "lines", "serial", "time", "load"}) {
        FrontEndRun run = runHost(std::string(command) + " --help");
        EXPECT_EQ(run.status, 0) << command;
        EXPECT_EQ(run.output.rfind(std::string("usage: rdrload [--library PATH] ") + command, 0),
                  0u)
            << run.output;
    }
    FrontEndRun overview = runHost("--help");
    EXPECT_EQ(overview.status, 0);
    EXPECT_NE(overview.output.find("Exit status:"), std::string::npos);
}

TEST(FrontEnd, HostQueriesAndBadFiles)
{
    FrontEndRun serial = runHost("serial --port 4");
    EXPECT_EQ(serial.status, 0);
    EXPECT_EQ(serial.output, "serial number: 0123456789\nGetSerialNumber_: 0 OK\n");

    FrontEndRun time = runHost("time");
    EXPECT_EQ(time.status, 0);
    EXPECT_EQ(time.output.rfind("host time: 20", 0), 0u) << time.output;

    TempFolder folder;
    // A packet whose application would lie beyond the file's end.
    std::vector<unsigned char> packet(40, 0);
    packet[2] = 2;    // application flag
    packet[6] = 24;   // offset from byte 2
    packet[10] = 100; // length: 14 bytes are there
    std::ofstream(folder.file("packet"), std::ios::binary)
        .write(reinterpret_cast<const char *>(packet.data()), 40);
    FrontEndRun cut = runHost("packet " + quoted(folder.file("packet")) + " --port 3");
    EXPECT_EQ(cut.status, 65);
    EXPECT_TRUE(cut.output.empty());

    FrontEndRun download = runHost("download K " + quoted(folder.file("absent")) + " --port 3");
    EXPECT_EQ(download.status, 3);
    EXPECT_EQ(download.output, "LoadBuffer_: 3 FILE_ERROR\n");
    EXPECT_NE(download.errors.find("cannot read"), std::string::npos);
}

TEST(FrontEnd, SaysWhenTheLibraryLacksTheExportACommandNeeds)
{
    // Another shared library loads fine but has none of the exports.
    TempFolder folder;
    for (const char *name : {"config", "boot", "image", "pid"})
        std::ofstream(folder.file(name)) << "x";
    const std::string command =
        std::string(RDRLOAD_FRONTEND) + " --library " + quoted(RDRLOAD_OTHER_LIBRARY) +
        " bootload " + quoted(folder.file("config")) + " " + quoted(folder.file("boot")) + " " +
        quoted(folder.file("image")) + " --port 3 --pid " + quoted(folder.file("pid")) +
        " --image-address 0 --load-address 0 2>&1";
    FILE *pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char chunk[256];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        output.append(chunk, got);
    const int raw = ::pclose(pipe);
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 69);
    EXPECT_EQ(output, "rdrload: FirmLoaderDL_ is not available in this library\n");
}

// What the library would find out only after its retries, or only after
// reading gigabytes, the front end says at once.
TEST(FrontEnd, SaysAtOnceThatAPortIsNotThereOrAFileIsTooLarge)
{
    struct stat info {};
    if (::lstat("/dev/COM250", &info) == 0 || ::stat("/dev/ttyS249", &info) == 0)
        GTEST_SKIP() << "COM250 is there on this machine";
    TempFolder folder;
    std::ofstream(folder.file("app.bin")) << "x";
    const std::vector<std::string> commands{"pid --port 250",
                                            "application " + folder.file("app.bin") + " --port 250",
                                            "lines --port 250 --dtr 1 --rts 0"};
    for (const std::string &command : commands) {
        SCOPED_TRACE(command);
        const FrontEndRun run = runHost(command);
        EXPECT_EQ(run.status, 1); // as for OPEN_COM_PORT
        EXPECT_EQ(run.errors, "rdrload: COM250 does not exist: there is no /dev/ttyS249\n");
        EXPECT_EQ(run.output, "");
    }

    const std::string huge = folder.file("huge.img");
    std::ofstream(huge).flush();
    if (::truncate(huge.c_str(), 5000000000ll) != 0)
        GTEST_SKIP() << "no sparse file of 5 GB here";
    const FrontEndRun load = runHost("load " + huge);
    EXPECT_EQ(load.status, 3);
    EXPECT_NE(load.output.find("LoadBuffer_: 3\n"), std::string::npos) << load.output;
    EXPECT_EQ(load.errors,
              "rdrload: cannot read " + huge +
                  ": it is 5000000000 bytes, more than the largest image an operation can carry "
                  "(4294967295 bytes)\n");
}
