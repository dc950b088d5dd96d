// The POSIX platform services that the fake-port tests replace and the pty
// tests do not look at: what a failed close shows, the thread and time
// services of the progress reports and host queries, and the serial
// service's answers for ports that are not there.

#include "platform/PlatformServices.h"
#include "StreamCapture.h"
#include "TempFolder.h"
#include "platform/LocalTime.h"
#include "platform/SteadyClock.h"
#include "platform/ThreadId.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>

using namespace rdrload;
using namespace rdrload::testing;

namespace {

// Sets TZ for its lifetime and restores the previous zone.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char *zone)
    {
        if (const char *previous = std::getenv("TZ"))
            previous_ = previous;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedTimeZone()
    {
        if (previous_)
            ::setenv("TZ", previous_->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::optional<std::string> previous_;
};

} // namespace

TEST(PosixCloseFailureNotice, WritesOneErrorLineOnStandardErrorOnly)
{
    auto notice = createPlatformCloseFailureNotice();
    StreamCapture out(stdout);
    StreamCapture err(stderr);
    notice->closeFailed("Input/output error");
    std::fflush(stderr);
    std::fflush(stdout);
    EXPECT_EQ(err.release(), "Error: Input/output error\n");
    EXPECT_EQ(out.release(), "");
}

TEST(PosixThreadId, IsTheKernelsIdOfTheCallingThread)
{
    // The tests run on the process's first thread, whose id is the pid.
    const uint32_t main = currentThreadId();
    EXPECT_EQ(main, static_cast<uint32_t>(::getpid()));
    uint32_t other = 0;
    std::thread([&] { other = currentThreadId(); }).join();
    EXPECT_NE(other, 0u);
    EXPECT_NE(other, main);
}

TEST(PosixLocalTime, FollowsTheHostsTimeZone)
{
    struct Case {
        const char *zone;
        std::time_t when;
        int year; // since 1900
        int yearDay;
        int hour;
        int minute;
    };
    const Case cases[] = {
        {"UTC0", 0, 70, 0, 0, 0},
        {"EAST-3", 0, 70, 0, 3, 0},    // three hours ahead of UTC
        {"WEST+5", 0, 69, 364, 19, 0}, // still the last day of 1969
        {"HALF-5:30", 86400 + 60, 70, 1, 5, 31},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.zone);
        ScopedTimeZone zone(c.zone);
        std::tm record{};
        ASSERT_TRUE(toLocalTime(c.when, record));
        EXPECT_EQ(record.tm_year, c.year);
        EXPECT_EQ(record.tm_yday, c.yearDay);
        EXPECT_EQ(record.tm_hour, c.hour);
        EXPECT_EQ(record.tm_min, c.minute);
    }
}

TEST(PosixLocalTime, EachCallerKeepsItsOwnRecord)
{
    ScopedTimeZone zone("UTC0");
    std::tm first{};
    std::tm second{};
    ASSERT_TRUE(toLocalTime(3600, first));
    ASSERT_TRUE(toLocalTime(7200, second));
    EXPECT_EQ(first.tm_hour, 1);
    EXPECT_EQ(second.tm_hour, 2);
}

TEST(PosixSteadyClock, SleepsAtLeastTheTimeAskedAndNeverGoesBack)
{
    SteadyClock clock;
    const uint64_t before = clock.nowMs();
    clock.sleep(30);
    const uint64_t after = clock.nowMs();
    EXPECT_GE(after, before + 30);
    EXPECT_LT(after, before + 3000);
}

TEST(PosixSerialSystem, AnAbsentPortIsNotOpenedNorCreated)
{
    TempFolder folder;
    auto serial = createPlatformSerialSystem(folder.path());
    EXPECT_EQ(serial->open(3), nullptr);
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

TEST(PosixSerialSystem, ALineOverAHandleThatIsNoDescriptorFailsEveryCall)
{
    auto serial = createPlatformSerialSystem(platformDeviceFolder());
    for (void *handle : {reinterpret_cast<void *>(static_cast<std::intptr_t>(-1)),
                         reinterpret_cast<void *>(INTPTR_MAX)}) {
        auto line = serial->borrow(handle);
        ASSERT_NE(line, nullptr);
        LineControl control;
        EXPECT_FALSE(line->getControl(control));
        EXPECT_EQ(line->lastError(), EBADF);
        const char byte = 0x06;
        std::size_t written = 99;
        EXPECT_FALSE(line->write(&byte, 1, written));
        EXPECT_EQ(line->lastError(), EBADF);
    }
}

TEST(PosixSerialSystem, ErrorTextsAreTheSystemsOwn)
{
    auto serial = createPlatformSerialSystem(platformDeviceFolder());
    for (int error : {ENOENT, EBADF, EIO})
        EXPECT_EQ(serial->errorText(error), std::strerror(error)) << error;
}
