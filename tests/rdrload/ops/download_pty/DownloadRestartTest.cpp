// FirmwareDL_ through librdrload.so with the real PortScout beside it, when
// the reader restarts into its firmware loader ('f'): once it comes back as
// another tty at the same hub position, under another COM number, and once
// the helper finds nothing there and the caller's port is opened again.
//
// The host program runs in a private mount namespace whose /sys is a tree
// built here and whose /dev holds our COM and tty links (and the real
// /dev/pts, where reader-sim's ptys live). Exit code 77 (skipped) where
// private mount namespaces cannot be made.

#include "CommandRun.h"
#include "SimProcess.h"
#include "SysfsTree.h"
#include "TempFolder.h"
#include "TextFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using namespace rdrload::testing;
using Bytes = std::vector<unsigned char>;

namespace {

constexpr int kGenerousMs = 30000;

std::string unshareCommand()
{
    return ::geteuid() == 0 ? "unshare --mount --propagation private"
                            : "unshare --user --map-root-user --mount --propagation private";
}

bool namespacesWork()
{
    return std::system((unshareCommand() + " true >/dev/null 2>&1").c_str()) == 0;
}

Bytes firmwareImage(std::size_t length)
{
    Bytes image(length);
    for (std::size_t i = 0; i < length; ++i)
        image[i] = static_cast<unsigned char>((i * 2654435761u) >> 13);
    image[64] = 0x00;
    image[65] = 0x02;
    image[136] = 0x20;
    return image;
}

class DownloadRestartTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Bus 1: root hub (device 1), a hub on its port 1 (device 3), the
        // reader's place on port 4 of that hub.
        const std::string root = tree.addUsbDevice("pci0000:00/0000:00:14.0", "usb1", 1, 1);
        hub = tree.addUsbDevice(root, "1-1", 1, 3);
        std::filesystem::create_directories(tree.devRoot() + "/pts");
        std::ofstream(folder.file("image.bin"), std::ios::binary)
            .write(reinterpret_cast<const char *>(image.data()),
                   static_cast<std::streamsize>(image.size()));
    }

    std::unique_ptr<SimProcess> startReader(const std::string &name,
                                            std::vector<std::string> options)
    {
        options.insert(options.end(), {"--output", folder.file(name + ".bin"), "--record",
                                       folder.file(name + ".journal")});
        auto sim = std::make_unique<SimProcess>(RDRLOAD_READER_SIM, options);
        EXPECT_FALSE(sim->slavePath().empty());
        return sim;
    }

    // FirmwareDL_ on COM3 through download-host, in the namespace.
    CommandRun runHost()
    {
        const std::string script =
            "mount --bind /dev/pts \"$2/pts\" && mount --bind \"$1\" /sys && "
            "mount --rbind \"$2\" /dev && shift 2 && exec \"$@\"";
        const std::string command = unshareCommand() + " sh -c " + quoted(script) + " sh " +
                                    quoted(tree.sysRoot()) + " " + quoted(tree.devRoot()) + " " +
                                    quoted(DOWNLOAD_HOST) + " " + quoted(RDRLOAD_LIBRARY) +
                                    " firmware 3 " + quoted(folder.file("image.bin")) + " 1";
        return runCommand(command);
    }

    TempFolder folder;
    SysfsTree tree;
    std::string hub;
    Bytes image = firmwareImage(2304 + 70000);
};

} // namespace

TEST_F(DownloadRestartTest, TheReaderComesBackUnderAnotherComNumber)
{
    // Before: the reader is ttyACM0 on hub 3 port 4, COM3. After its
    // restart the same position carries ttyACM1, COM5 (a second reader-sim).
    auto before = startReader("before", {"--restarts", "5"});
    auto after = startReader("after", {});
    const std::string reader = tree.addUsbDevice(hub, "1-1.4", 1, 9);
    tree.addTty(reader, "ttyACM0");
    tree.relinkDevice("ttyACM0", before->slavePath());
    tree.linkDevice("COM3", "ttyACM0");
    tree.linkDevice("ttyACM1", after->slavePath());
    tree.linkDevice("COM5", "ttyACM1");

    auto host = std::async(std::launch::async, [this] { return runHost(); });
    // The reader announces its restart and the host lets go of COM3: the
    // USB device re-enumerates with a new tty.
    ASSERT_TRUE(waitForLine(folder.file("before.journal"), "restarting 1", kGenerousMs));
    ASSERT_TRUE(waitForLine(folder.file("before.journal"), "close", kGenerousMs));
    tree.removeTty("ttyACM0");
    tree.addTty(reader, "ttyACM1");
    tree.relinkDevice("ttyACM1", after->slavePath());

    const CommandRun run = host.get();
    EXPECT_NE(run.output.find("result 0\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("report 0 72304 Waiting reset 5\\n\n"), std::string::npos);
    EXPECT_EQ(readBytes(folder.file("after.bin")), image);
    EXPECT_FALSE(std::filesystem::exists(folder.file("before.bin")));
    // COM3 was asked once; the download itself went to COM5.
    EXPECT_EQ(readLines(folder.file("before.journal")).front(), "open");
    int openings = 0;
    for (const std::string &line : readLines(folder.file("before.journal")))
        openings += line == "open";
    EXPECT_EQ(openings, 1);
}

TEST_F(DownloadRestartTest, WhenTheHelperFindsNothingTheSamePortIsOpenedAgain)
{
    // COM3 is a tty no USB device carries: there is no hub position.
    auto only = startReader("only", {"--restarts", "1"});
    tree.addPlatformTty("ttyS9");
    tree.relinkDevice("ttyS9", only->slavePath());
    tree.linkDevice("COM3", "ttyS9");

    const CommandRun run = runHost();
    EXPECT_NE(run.output.find("result 0\n"), std::string::npos) << run.output;
    EXPECT_EQ(readBytes(folder.file("only.bin")), image);
    int openings = 0;
    for (const std::string &line : readLines(folder.file("only.journal")))
        openings += line == "open";
    EXPECT_EQ(openings, 2);
}

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (!namespacesWork()) {
        std::printf("private mount namespaces are not available here: skipped\n");
        return 77;
    }
    return RUN_ALL_TESTS();
}
