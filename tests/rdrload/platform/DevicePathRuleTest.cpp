#include "platform/DevicePathRule.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace rdrload;

TEST(DevicePathRule, ANamedComEntryWinsOverTheStandardPort)
{
    std::set<std::string> present{"/dev/COM7", "/dev/ttyS6"};
    DevicePathRule rule("/dev", [&](const std::string &p) { return present.count(p) > 0; });
    EXPECT_EQ(rule.pathFor(7), "/dev/COM7");
    EXPECT_EQ(rule.pathFor(1), "/dev/ttyS0");
    EXPECT_EQ(rule.pathFor(10), "/dev/ttyS9");
    EXPECT_EQ(rule.pathFor(256), "/dev/ttyS255");
}

TEST(DevicePathRule, TheFolderIsGivenAndAsksOnlyForTheComEntry)
{
    std::set<std::string> asked;
    DevicePathRule rule("/tmp/ports/", [&](const std::string &p) {
        asked.insert(p);
        return false;
    });
    EXPECT_EQ(rule.pathFor(12), "/tmp/ports/ttyS11");
    EXPECT_EQ(asked, (std::set<std::string>{"/tmp/ports/COM12"}));
}
