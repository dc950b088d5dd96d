// PacketDL_'s choice of parts, its wait for the reader's port and its
// hand-over to the firmware and application downloads, on fake ports and a
// virtual clock.

#include "ops/PacketDownload.h"
#include "AnswerReader.h"
#include "FakeLinkEnvironment.h"
#include "api/rdrload.h"
#include "link/SerialLink.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace rdrload;
using namespace rdrload::testing;

namespace {

void putField(Bytes &packet, std::size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        packet[offset + static_cast<std::size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

// Header, then the firmware (`firmware` bytes) and the application (`app`
// bytes); offsets count from byte 2.
Bytes makePacket(uint32_t appFlag, std::size_t app, uint32_t firmwareFlag, std::size_t firmware)
{
    Bytes packet(26, 0);
    packet[0] = 0xAB;
    packet[1] = 0xCD;
    const Bytes firmwareBytes(firmware, 0xF0);
    Bytes appBytes = pattern(app);
    putField(packet, 14, firmwareFlag);
    putField(packet, 18, static_cast<uint32_t>(packet.size() - 2));
    putField(packet, 22, static_cast<uint32_t>(firmware));
    packet = join(packet, firmwareBytes);
    putField(packet, 2, appFlag);
    putField(packet, 6, static_cast<uint32_t>(packet.size() - 2));
    putField(packet, 10, static_cast<uint32_t>(app));
    return join(packet, appBytes);
}

int g_helperLoads = 0;

PortScoutLookup missingHelper()
{
    ++g_helperLoads;
    return PortScoutLookup{}; // NoLibrary
}

int runPacket(Bytes &packet, uint8_t port)
{
    return PacketDownload(missingHelper).run(packet.data(), port, nullptr);
}

// The pauses of the port wait: the 2 s settle, then one 100 ms pause after
// each failed attempt (the attempts' own 10 ms retries left out).
std::vector<uint32_t> waitPauses(const std::vector<uint32_t> &sleeps)
{
    std::vector<uint32_t> found;
    for (uint32_t ms : sleeps) {
        if (ms == 2000 || ms == 100)
            found.push_back(ms);
    }
    return found;
}

} // namespace

TEST(PacketDownload, WithNeitherPartOpensNothing)
{
    for (auto [appFlag, firmwareFlag] :
         {std::pair{0u, 0u}, std::pair{1u, 3u}, std::pair{0x200u, 0u}}) {
        FakeLinkEnvironment env;
        FakePort &port = env.serial.port(7);
        g_helperLoads = 0;
        Bytes packet = makePacket(appFlag, 10, firmwareFlag, 10);
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(runPacket(packet, 7), 0);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(port.openAttempts(), 0);
        EXPECT_EQ(g_helperLoads, 0);
        EXPECT_EQ(env.clock.nowMs(), 0u);
    }
}

TEST(PacketDownload, AFailedFirmwareStopsThePacketBeforeTheApplication)
{
    FakeLinkEnvironment env;
    FakePort &port = env.serial.port(7);
    g_helperLoads = 0;
    Bytes packet = makePacket(2, 10, 2, 800);
    ::testing::internal::CaptureStdout();
    // Without the PortScout helper the firmware download ends with 10.
    EXPECT_EQ(runPacket(packet, 7), PARAMETER_ERROR);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(g_helperLoads, 1);
    EXPECT_EQ(port.openAttempts(), 0);
}

TEST(PacketDownload, SendsTheApplicationAfterTheReaderPortIsBack)
{
    FakeLinkEnvironment env;
    FakePort &port = env.serial.port(7);
    // The port is missing for the first two attempts of the wait.
    port.refuseOpens(2 * kOpenAttempts);
    // '1' -> ACK; the one 100-byte block -> ACK (last block), ACK (signature).
    AnswerReader reader({ack(), answer({kAck, kAck})});
    port.setReader(&reader);
    g_helperLoads = 0;
    Bytes packet = makePacket(2, 100, 0, 50);

    ::testing::internal::CaptureStdout();
    EXPECT_EQ(runPacket(packet, 7), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Loading application\n");

    EXPECT_EQ(g_helperLoads, 0);
    EXPECT_EQ(port.written(), join({'1'}, Bytes(packet.end() - 100, packet.end())));
    EXPECT_EQ(env.trace.count("PacketDL OpenPort \n"), 3);
    EXPECT_EQ(env.trace.count("PacketDL ClosePort \n"), 1);
    // 2 s, 100 ms after each missed attempt, then the double break's quiet.
    EXPECT_EQ(waitPauses(env.clock.sleeps()), (std::vector<uint32_t>{2000, 100, 100, 100}));
    EXPECT_EQ(port.openings(), 2); // the wait's probe, then the download
}

TEST(PacketDownload, GivesUpWaitingAfter100AttemptsAndLetsTheApplicationFail)
{
    FakeLinkEnvironment env;
    Bytes packet = makePacket(2, 100, 0, 0);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(runPacket(packet, 9), OPEN_COM_PORT);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Loading application\n");
    EXPECT_EQ(env.trace.count("PacketDL OpenPort \n"), 100);
    EXPECT_EQ(env.trace.count("PacketDL ClosePort \n"), 0);
    EXPECT_EQ(waitPauses(env.clock.sleeps()), [] {
        std::vector<uint32_t> pauses{2000};
        pauses.insert(pauses.end(), 100, 100);
        return pauses;
    }());
    // 100 waits and the application's own opening, 1000 tries each.
    EXPECT_EQ(env.serial.absentOpenAttempts(), 101 * kOpenAttempts);
}

TEST(PacketDownload, TheExportRefusesANullPacket)
{
    FakeLinkEnvironment env;
    EXPECT_EQ(PacketDL_(nullptr, 7, nullptr), PARAMETER_ERROR);
    EXPECT_EQ(env.serial.absentOpenAttempts(), 0);
}
