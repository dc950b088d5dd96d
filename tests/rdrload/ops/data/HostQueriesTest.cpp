// GetSerialNumber_ and GetClientTime_: answered on the host alone.

#include "FakeLinkEnvironment.h"
#include "api/rdrload.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <future>
#include <string>

using namespace rdrload;
using namespace rdrload::testing;

TEST(HostQueries, SerialNumberIsTheFixedTextWhateverThePort)
{
    FakeLinkEnvironment env;
    for (unsigned char port : {0, 1, 255}) {
        char buffer[16];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(GetSerialNumber_(port, buffer), 0);
        EXPECT_EQ(std::string(buffer, 11), std::string("0123456789", 11));
        EXPECT_EQ(buffer[11], 'x'); // 11 bytes, no more
    }
    EXPECT_EQ(GetSerialNumber_(1, nullptr), NULL_BUFFER);
    EXPECT_EQ(env.serial.absentOpenAttempts(), 0);
}

TEST(HostQueries, ClientTimeIsLocalTimeInARecordOfTheCallingThread)
{
    const std::time_t before = std::time(nullptr);
    std::tm *mine = GetClientTime_(0, 0);
    const std::time_t after = std::time(nullptr);
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(mine->tm_isdst, -1);
    std::tm copy = *mine;
    const std::time_t back = std::mktime(&copy);
    EXPECT_GE(back, before);
    EXPECT_LE(back, after);
    EXPECT_EQ(GetClientTime_(9, 9), mine); // the same record on the same thread

    // Another thread gets its own record: its conversion never overwrites ours.
    std::tm saved = *mine;
    mine->tm_year = 42;
    std::tm *theirs = std::async(std::launch::async, [] { return GetClientTime_(0, 0); }).get();
    EXPECT_NE(theirs, mine);
    EXPECT_EQ(mine->tm_year, 42);
    EXPECT_EQ(saved.tm_isdst, -1);
}
