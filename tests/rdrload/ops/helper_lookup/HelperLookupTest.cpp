// FirmwareDL_ finds its helper beside the code that calls it (here this
// test program, whose folder holds a helper that lacks one function): that
// counts as a missing helper, refused with 10 before the port is opened.

#include "FakeLinkEnvironment.h"
#include "api/rdrload.h"
#include "ops/PortScoutLoader.h"

#include <gtest/gtest.h>

#include <vector>

using namespace rdrload;
using namespace rdrload::testing;

TEST(HelperLookup, AHelperWithoutOneFunctionIsRefusedBeforeThePortIsOpened)
{
    const PortScoutLookup lookup = loadPortScout();
    EXPECT_EQ(lookup.status, PortScoutLookup::Status::MissingFunction);
    EXPECT_EQ(lookup.missing, "searchComByDriverPemtal");

    FakeLinkEnvironment env;
    std::vector<unsigned char> image(4000, 0x20);
    EXPECT_EQ(FirmwareDL_(image.data(), image.size(), 3, 0, nullptr), 10);
    EXPECT_EQ(env.trace.texts(),
              (std::vector<std::string>{"Can't find searchComByDriverPemtal in PortScout.dll\n"}));
    EXPECT_EQ(env.serial.port(3).openAttempts(), 0);
}
