// SetLevel_DTR_RTS_ and the handle a host keeps, over a pty against
// tools/reader-sim: the handle is the port's file descriptor, which the host
// closes itself, after which the next download opens the port at once; and
// a descriptor the host opened itself is used as it is and left open.

#include "PtyReader.h"
#include "TextFile.h"
#include "api/rdrload.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdint>
#include <fcntl.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

using namespace rdrload;
using namespace rdrload::testing;
using Bytes = std::vector<unsigned char>;

namespace {

// Opening attempts on a port that stays held take ten seconds.
constexpr long kHeldPortMs = 10000;

long msSince(std::chrono::steady_clock::time_point start)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count());
}

bool descriptorIsOpen(int fd)
{
    return ::fcntl(fd, F_GETFD) != -1;
}

class HostHandlePtyTest : public ::testing::Test, protected PtyReader {};

} // namespace

TEST_F(HostHandlePtyTest, TheHostClosesTheDescriptorAndTheNextDownloadOpensAtOnce)
{
    const std::string received = folder.file("received.bin");
    startReader({"--output", received});
    void *handle = nullptr;
    ASSERT_EQ(SetLevel_DTR_RTS_(7, 1, 0, &handle), 0);
    const auto value = reinterpret_cast<std::intptr_t>(handle);
    ASSERT_GT(value, 0);
    ASSERT_LE(value, INT_MAX) << "not a file descriptor";
    const int fd = static_cast<int>(value);
    ASSERT_TRUE(descriptorIsOpen(fd));
    // Reused by the next call, not reopened.
    ASSERT_EQ(SetLevel_DTR_RTS_(7, 0, 1, &handle), 0);
    EXPECT_EQ(reinterpret_cast<std::intptr_t>(handle), value);
    EXPECT_EQ(::close(fd), 0);

    Bytes image(3000);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<unsigned char>(i * 7);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ApplicationDL_(image.data(), image.size(), 7, 0, nullptr), 0);
    EXPECT_LT(msSince(start), kHeldPortMs);
    EXPECT_EQ(readBytes(received), image);
}

TEST_F(HostHandlePtyTest, ADescriptorTheHostOpenedIsUsedAndLeftOpen)
{
    startReader();
    const int fd = ::open(folder.file("COM7").c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    termios line{};
    ASSERT_EQ(::tcgetattr(fd, &line), 0);
    ASSERT_NE(line.c_lflag & ICANON, 0u); // a new pty starts in line mode
    void *handle = reinterpret_cast<void *>(static_cast<std::intptr_t>(fd));
    EXPECT_EQ(SetLevel_DTR_RTS_(7, 1, 1, &handle), 0);
    EXPECT_EQ(handle, reinterpret_cast<void *>(static_cast<std::intptr_t>(fd)));
    EXPECT_EQ(trace.texts(), (std::vector<std::string>{"SetLevel_DTR_RTS OpenPort",
                                                       " - Port already opened - OK\n",
                                                       "SetLevel_DTR_RTS - end\n"}));
    // The line settings were written on the host's own descriptor.
    ASSERT_EQ(::tcgetattr(fd, &line), 0);
    EXPECT_EQ(line.c_lflag & ICANON, 0u);
    EXPECT_TRUE(descriptorIsOpen(fd));
    EXPECT_EQ(::close(fd), 0);

    // A descriptor that is not open is no port: the calls fail quietly.
    void *stale = reinterpret_cast<void *>(static_cast<std::intptr_t>(fd));
    EXPECT_EQ(SetLevel_DTR_RTS_(7, 1, 1, &stale), 0);
    EXPECT_EQ(stale, reinterpret_cast<void *>(static_cast<std::intptr_t>(fd)));
}
