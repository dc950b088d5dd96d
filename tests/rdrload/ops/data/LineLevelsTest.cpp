// SetLevel_DTR_RTS_: the port handed back open as the platform's handle, which
// the host closes; a handle the host opened itself used as it is.

#include "FakeLinkEnvironment.h"
#include "api/rdrload.h"
#include "link/SerialLink.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace rdrload;
using namespace rdrload::testing;
using Texts = std::vector<std::string>;

namespace {

std::vector<PortEvent> controls(const FakePort &port)
{
    std::vector<PortEvent> found;
    for (const PortEvent &event : port.events()) {
        if (event.kind == PortEvent::Kind::Control)
            found.push_back(event);
    }
    return found;
}

} // namespace

TEST(LineLevels, OpensOnceAt9600AndReusesTheHandleItHandsBack)
{
    FakeLinkEnvironment env;
    FakePort &port = env.serial.port(2);
    void *handle = nullptr;

    EXPECT_EQ(SetLevel_DTR_RTS_(2, 1, 0, &handle), 0);
    // The platform's own handle, which the host can close.
    EXPECT_EQ(handle, FakeSerialSystem::platformHandle(2));
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.control().baudRate, 9600u);
    EXPECT_EQ(port.control().dtrControl, kDtrEnable);
    EXPECT_EQ(port.control().rtsControl, kRtsDisable);
    std::vector<PortEvent> first = controls(port);
    ASSERT_EQ(first.size(), 3u); // line format, RTS, DTR 50 ms later
    EXPECT_EQ(first[1].control.rtsControl, kRtsDisable);
    EXPECT_EQ(first[1].control.dtrControl, kDtrEnable);
    EXPECT_EQ(first[2].atMs, first[1].atMs + 50);
    EXPECT_EQ(env.trace.texts(), (Texts{"SetLevel_DTR_RTS OpenPort", " - OpenPort 2 Start", " - R",
                                        " - OK\n", "SetLevel_DTR_RTS - end\n"}));

    env.trace.clear();
    void *const first_handle = handle;
    EXPECT_EQ(SetLevel_DTR_RTS_(2, 0, 1, &handle), 0);
    EXPECT_EQ(handle, first_handle);
    EXPECT_EQ(port.openings(), 1);
    EXPECT_EQ(port.openAttempts(), 1);
    EXPECT_EQ(port.control().dtrControl, kDtrDisable);
    EXPECT_EQ(port.control().rtsControl, kRtsEnable);
    EXPECT_EQ(env.trace.texts(),
              (Texts{"SetLevel_DTR_RTS OpenPort", " - Port already opened - OK\n",
                     "SetLevel_DTR_RTS - end\n"}));
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.count(PortEvent::Kind::Close), 0);

    EXPECT_TRUE(env.serial.hostClose(handle));
    EXPECT_FALSE(port.isOpen());
}

TEST(LineLevels, AHandleTheHostOpenedItselfIsUsedAndNeverClosed)
{
    FakeLinkEnvironment env;
    FakePort &port = env.serial.port(2);
    void *handle = env.serial.hostOpen(2);
    ASSERT_NE(handle, nullptr);
    void *const opened = handle;

    EXPECT_EQ(SetLevel_DTR_RTS_(2, 0, 1, &handle), 0);
    EXPECT_EQ(handle, opened);
    EXPECT_EQ(port.openAttempts(), 1); // the host's own
    EXPECT_EQ(port.control().dtrControl, kDtrDisable);
    EXPECT_EQ(port.control().rtsControl, kRtsEnable);
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(env.trace.texts(),
              (Texts{"SetLevel_DTR_RTS OpenPort", " - Port already opened - OK\n",
                     "SetLevel_DTR_RTS - end\n"}));
    EXPECT_TRUE(env.serial.hostClose(handle));
}

TEST(LineLevels, AHandleOfNoOpenPortChangesNothingAndIsKept)
{
    FakeLinkEnvironment env;
    FakePort &port = env.serial.port(2);
    for (void *given :
         {FakeSerialSystem::platformHandle(2), static_cast<void *>(invalidPortHandle())}) {
        void *handle = given;
        EXPECT_EQ(SetLevel_DTR_RTS_(2, 1, 1, &handle), 0);
        EXPECT_EQ(handle, given);
    }
    EXPECT_EQ(port.openAttempts(), 0);
    EXPECT_TRUE(port.events().empty());
}

TEST(LineLevels, AFailedOpeningLeavesTheHandleNullForTheNextTry)
{
    FakeLinkEnvironment env;
    FakePort &port = env.serial.port(2);
    port.refuseOpens(1000);
    void *handle = nullptr;
    EXPECT_EQ(SetLevel_DTR_RTS_(2, 1, 1, &handle), OPEN_COM_PORT);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(env.trace.texts().back(), " - Error\n");

    EXPECT_EQ(SetLevel_DTR_RTS_(2, 1, 1, &handle), 0);
    EXPECT_TRUE(port.isOpen());
    EXPECT_TRUE(env.serial.hostClose(handle));
}

TEST(LineLevels, ANullHandlePointerIsRefusedBeforeAnything)
{
    FakeLinkEnvironment env;
    FakePort &port = env.serial.port(2);
    EXPECT_EQ(SetLevel_DTR_RTS_(2, 1, 1, nullptr), PARAMETER_ERROR);
    EXPECT_EQ(port.openAttempts(), 0);
    EXPECT_TRUE(env.trace.texts().empty());
}
