// PortScout's four functions on sysfs trees built by the test: a tty on a
// hub port, the same device moved to another tty, nothing at a position,
// and the library's export set.

#include "PortScoutCalls.h"
#include "SysfsTree.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <dlfcn.h>
#include <string>

using namespace portscout;

namespace {

// Buffers as the caller has them, filled with a mark so that an untouched
// buffer shows.
struct Buffers {
    wchar_t identifier[PortScoutCalls::kIdentifierChars];
    wchar_t comName[PortScoutCalls::kComNameChars];
    Buffers()
    {
        std::wmemset(identifier, L'#', PortScoutCalls::kIdentifierChars);
        std::wmemset(comName, L'#', PortScoutCalls::kComNameChars);
    }
};

class PortScoutCallsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Bus 1: root hub (device 1), a hub on its port 1 (device 3), the
        // reader on port 4 of that hub (device 9); a second reader straight
        // on port 2 of the root hub (device 5).
        const std::string root = tree.addUsbDevice("pci0000:00/0000:00:14.0", "usb1", 1, 1);
        const std::string hub = tree.addUsbDevice(root, "1-1", 1, 3);
        reader = tree.addUsbDevice(hub, "1-1.4", 1, 9);
        other = tree.addUsbDevice(root, "1-2", 1, 5);
        tree.addTty(reader, "ttyACM0");
        tree.addTty(other, "ttyUSB0");
        tree.addPlatformTty("ttyS2");
        tree.linkDevice("COM7", "ttyACM0");
        tree.linkDevice("COM12", "ttyUSB0");
    }

    SysfsTree tree;
    UsbPortMap map{tree.sysRoot(), tree.devRoot()};
    PortScoutCalls calls{map};
    std::string reader;
    std::string other;
};

} // namespace

TEST_F(PortScoutCallsTest, FindsATtyOnAHubPortAndBack)
{
    struct Case {
        int com;
        const wchar_t *identifier;
        int hub;
        int port;
    };
    for (Case c : {Case{7, L"1-1.4", 3, 4}, Case{12, L"1-2", 1, 2}}) {
        SCOPED_TRACE(c.com);
        Buffers b;
        ASSERT_EQ(calls.driverByCom(c.com, b.identifier), 0);
        EXPECT_STREQ(b.identifier, c.identifier);
        int32_t hub = -1, port = -1;
        ASSERT_EQ(calls.positionByDriver(b.identifier, &hub, &port), 0);
        EXPECT_EQ(hub, c.hub);
        EXPECT_EQ(port, c.port);
        Buffers back;
        ASSERT_EQ(calls.driverByPosition(hub, port, back.identifier), 0);
        EXPECT_STREQ(back.identifier, c.identifier);
        ASSERT_EQ(calls.comByDriver(back.identifier, back.comName), 0);
        EXPECT_STREQ(back.comName, (L"COM" + std::to_wstring(c.com)).c_str());
    }
}

TEST_F(PortScoutCallsTest, TheSameDeviceOnAnotherTtyHasAnotherComNumber)
{
    // The reader restarted: ttyACM0 is gone, the device at hub 3 port 4
    // now carries ttyACM1, which udev links as COM9.
    tree.removeTty("ttyACM0");
    tree.addTty(reader, "ttyACM1");
    tree.linkDevice("COM9", "ttyACM1");

    Buffers b;
    ASSERT_EQ(calls.driverByPosition(3, 4, b.identifier), 0);
    EXPECT_STREQ(b.identifier, L"1-1.4");
    ASSERT_EQ(calls.comByDriver(b.identifier, b.comName), 0);
    EXPECT_STREQ(b.comName, L"COM9");
    // COM7 still links to a tty that no longer exists.
    Buffers stale;
    EXPECT_EQ(calls.driverByCom(7, stale.identifier), 1);
    EXPECT_EQ(stale.identifier[0], L'#');
    // A chain of links (COM9 -> reader -> ttyACM1) is followed too.
    tree.relinkDevice("COM9", "reader");
    tree.linkDevice("reader", "ttyACM1");
    Buffers chained;
    ASSERT_EQ(calls.driverByCom(9, chained.identifier), 0);
    EXPECT_STREQ(chained.identifier, L"1-1.4");
}

TEST_F(PortScoutCallsTest, NothingFoundLeavesTheBuffersAlone)
{
    Buffers b;
    int32_t hub = -1, port = -1;
    EXPECT_EQ(calls.driverByPosition(3, 5, b.identifier), 1); // empty hub port
    EXPECT_EQ(calls.driverByPosition(9, 4, b.identifier), 1); // no such hub
    EXPECT_EQ(calls.driverByCom(3, b.identifier), 1);         // ttyS2: not on USB
    EXPECT_EQ(calls.driverByCom(4, b.identifier), 1);         // nothing at all
    EXPECT_EQ(calls.driverByCom(0, b.identifier), 1);
    EXPECT_EQ(calls.positionByDriver(L"2-7", &hub, &port), 1); // unknown device
    EXPECT_EQ(calls.positionByDriver(L"usb1", &hub, &port), 1);
    EXPECT_EQ(calls.positionByDriver(L"../../..", &hub, &port), 1);
    EXPECT_EQ(calls.positionByDriver(L"1-1.\u00e94", &hub, &port), 1);
    EXPECT_EQ(calls.comByDriver(L"1-1", b.comName), 1); // a hub has no tty
    EXPECT_EQ(calls.comByDriver(L"", b.comName), 1);
    EXPECT_EQ(hub, -1);
    EXPECT_EQ(port, -1);
    EXPECT_EQ(b.identifier[0], L'#');
    EXPECT_EQ(b.comName[0], L'#');

    // An identifier that fills its whole buffer without an end.
    Buffers unterminated;
    std::wmemset(unterminated.identifier, L'1', PortScoutCalls::kIdentifierChars);
    EXPECT_EQ(calls.positionByDriver(unterminated.identifier, &hub, &port), 1);

    EXPECT_EQ(calls.driverByCom(7, nullptr), 2);
    EXPECT_EQ(calls.positionByDriver(nullptr, &hub, &port), 2);
    EXPECT_EQ(calls.driverByPosition(3, 4, nullptr), 2);
    EXPECT_EQ(calls.comByDriver(L"1-1.4", nullptr), 2);
}

TEST(PortScoutLibrary, ExportsTheFourFunctionsByNameAndNothingElse)
{
    void *library = ::dlopen(PORTSCOUT_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    for (const char *name : {"searchDriverByComPemtal", "searchPositionByDriver",
                             "searchDriverByPosition", "searchComByDriverPemtal"})
        EXPECT_NE(::dlsym(library, name), nullptr) << name;
    ::dlclose(library);

    const std::string command = std::string(KLAV_NM) + " -D --defined-only " + PORTSCOUT_LIBRARY;
    FILE *pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string listing;
    char line[512];
    int names = 0;
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        const std::string text = line;
        listing += text;
        // Sanitizer builds add their own interceptors; only ours count.
        if (text.find(" T ") != std::string::npos && text.find("search") != std::string::npos)
            ++names;
        else if (text.find("__") == std::string::npos && text.find(" T ") != std::string::npos)
            ADD_FAILURE() << "unexpected export: " << text;
    }
    ::pclose(pipe);
    EXPECT_EQ(names, 4) << listing;
}
