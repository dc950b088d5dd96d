// Discovery of the maker's PC/SC readers through a real pcscd serving test
// readers; each case restarts pcscd with its own set of readers.

#include "LogCapture.h"
#include "PrivatePcscd.h"
#include "SysfsTree.h"

#include "Crc16Kermit.h"
#include "base/KLAVConfig.h"
#include "port/KLAVDeviceManager.h"
#include "port/KLAVPcscPort.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const auto *const g_environment = ::testing::AddGlobalTestEnvironment(new PrivatePcscdEnvironment);

using Names = std::vector<std::string>;

// pcscd lists slot s of reader n of its configuration as "<name> NN SS".
std::string listed(const std::string &name, unsigned reader, unsigned slot = 0)
{
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, " %02X %02X", reader, slot);
    return name + suffix;
}

TestReaderSetup reader(const std::string &name, const std::string &vendor,
                       const std::string &serial, const std::string &more = "")
{
    return {name, "vendor = " + vendor + "\nserial = " + serial + "\n" + more};
}

class KLAVDeviceManagerPcscTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedVid_ = g_config.VID;
        savedPid_ = g_config.PID;
        g_config.VID.clear();
        g_config.PID.clear();
    }
    void TearDown() override
    {
        EXPECT_TRUE(PrivatePcscd::shared().stop());
        g_config.VID = savedVid_;
        g_config.PID = savedPid_;
    }

    void serve(const std::vector<TestReaderSetup> &readers)
    {
        std::string error;
        ASSERT_TRUE(PrivatePcscd::shared().start(readers, error)) << error;
    }

    // Discovery over a device tree with no USB serial terminal, unless one
    // was added.
    std::vector<KLAVDevice> discover()
    {
        KLAVDeviceManager manager(UsbTtyEnumerator(tree_.sysRoot(), tree_.devRoot()),
                                  {g_config.VID, g_config.PID});
        return manager.getDeviceList();
    }

    Names discoveredNames()
    {
        Names names;
        for (const KLAVDevice &device : discover())
            names.push_back(device.getName());
        return names;
    }

    SysfsTree tree_;

private:
    std::vector<std::string> savedVid_, savedPid_;
};

} // namespace

TEST_F(KLAVDeviceManagerPcscTest, MakersReadersInAnyLetterCaseBecomePcscRecords)
{
    ASSERT_NO_FATAL_FAILURE(
        serve({reader("Velantra A", "VELANTRA", "S1"), reader("Acme B", "Acme", "S2"),
               reader("Velantra C", "velantra", "S3"), reader("Velantrax D", "Velantrax", "S4")}));
    LogCapture log;
    std::vector<KLAVDevice> devices = discover();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].getName(), listed("Velantra A", 0) + " (S1)");
    EXPECT_EQ(devices[1].getName(), listed("Velantra C", 2) + " (S3)");
    for (size_t i = 0; i < devices.size(); ++i) {
        const KLAVDevice &device = devices[i];
        std::string reader = i == 0 ? listed("Velantra A", 0) : listed("Velantra C", 2);
        EXPECT_EQ(device.getLpFileName(), reader);
        EXPECT_EQ(device.getDevicePath(), reader);
        EXPECT_EQ(device.getPortCOM(), "PCSC");
        EXPECT_TRUE(device.isPCSC());
        EXPECT_EQ(device.getVID(), "0E6B");
        EXPECT_EQ(device.getPID(), "0000");
        EXPECT_EQ(device.getSerialNumber(), i == 0 ? "S1" : "S3");
        EXPECT_TRUE(device.getClassGuid() == usbDeviceInterfaceClass());
    }
    EXPECT_EQ(log.count("findAllPCSCDevices : Not an Velantra reader"), 2);
    EXPECT_EQ(log.count("findAllPCSCDevices : serial number not in PCSC name"), 2);
    EXPECT_TRUE(log.has("findAllPCSCDevices : Try reader " + listed("Acme B", 1)));
    EXPECT_TRUE(log.has("found reader : " + listed("Velantra C", 2) + " (S3)"));
    EXPECT_EQ(log.count("KLAVDeviceManager::findAllPCSCDevices"), 2); // entry and exit
}

TEST_F(KLAVDeviceManagerPcscTest, SlotsOfOneReaderGiveOneRecordUntilAnotherSerialComes)
{
    ASSERT_NO_FATAL_FAILURE(serve({reader("Velantra Dual", "Velantra", "D1", "slots = 2\n"),
                                   reader("Velantra Next", "Velantra", "N2"),
                                   reader("Velantra Back", "Velantra", "D1")}));
    LogCapture log;
    // The same serial number again after another of the maker's readers
    // is a reader of its own.
    EXPECT_EQ(discoveredNames(),
              (Names{listed("Velantra Dual", 0) + " (D1)", listed("Velantra Next", 1) + " (N2)",
                     listed("Velantra Back", 2) + " (D1)"}));
    EXPECT_EQ(log.count("Another Slot of the same reader, continue..."), 1);
    EXPECT_TRUE(log.has("findAllPCSCDevices : Try reader " + listed("Velantra Dual", 0, 1)));
}

TEST_F(KLAVDeviceManagerPcscTest, ReadersThatAreSkippedDoNotSeparateSlots)
{
    ASSERT_NO_FATAL_FAILURE(
        serve({reader("Velantra First", "Velantra", "S1"), reader("Acme Between", "Acme", "S9"),
               reader("Velantra Busy", "Velantra", "S5", "deny = connect\n"),
               reader("Velantra Mute", "Velantra", "S6", "deny = vendor\n"),
               reader("Velantra Again", "Velantra", "S1")}));
    LogCapture log;
    EXPECT_EQ(discoveredNames(), Names{listed("Velantra First", 0) + " (S1)"});
    char refused[96];
    std::snprintf(refused, sizeof refused, "findAllPCSCDevices SCardConnect failed Error : 0x%x\n",
                  unsigned(SCARD_E_READER_UNAVAILABLE));
    EXPECT_TRUE(log.has(refused));
    bool noVendor = false;
    for (const std::string &line : log.messages())
        noVendor |=
            line.rfind("findAllPCSCDevices cannot get SCARD_ATTR_VENDOR_NAME Error : 0x", 0) == 0;
    EXPECT_TRUE(noVendor);
    EXPECT_EQ(log.count("Another Slot of the same reader, continue..."), 1);
}

TEST_F(KLAVDeviceManagerPcscTest, EmptySerialIsAnotherSlotFirstButAReaderAfterAnotherSerial)
{
    ASSERT_NO_FATAL_FAILURE(serve(
        {reader("Velantra Blank", "Velantra", ""), reader("Velantra Numbered", "Velantra", "S2"),
         reader("Velantra Blank Again", "Velantra", ""),
         reader("Velantra Secret", "Velantra", "S3", "deny = serial\n")}));
    LogCapture log;
    // An empty serial number is in every name: nothing is appended. A serial
    // number the reader does not give reads as empty, like the one before.
    EXPECT_EQ(discoveredNames(),
              (Names{listed("Velantra Numbered", 1) + " (S2)", listed("Velantra Blank Again", 2)}));
    EXPECT_EQ(log.count("Another Slot of the same reader, continue..."), 2);
    EXPECT_EQ(log.count("findAllPCSCDevices : serial number not in PCSC name"), 1);
}

TEST_F(KLAVDeviceManagerPcscTest, NameHoldingItsSerialIsListedUnchanged)
{
    ASSERT_NO_FATAL_FAILURE(serve({reader("Velantra SN42 Desk", "Velantra", "SN42")}));
    LogCapture log;
    std::vector<KLAVDevice> devices = discover();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].getName(), listed("Velantra SN42 Desk", 0));
    EXPECT_FALSE(log.has("findAllPCSCDevices : serial number not in PCSC name"));
}

TEST_F(KLAVDeviceManagerPcscTest, PcscRecordsFollowSerialOnesAndVanishWithoutTheService)
{
    SysfsTree::UsbTty tty;
    tree_.addUsbTty(tty);
    ASSERT_NO_FATAL_FAILURE(serve({reader("Velantra Desk", "Velantra", "S1")}));
    std::vector<KLAVDevice> devices = discover();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].getPortCOM(), "ttyACM0");
    EXPECT_FALSE(devices[0].isPCSC());
    EXPECT_EQ(devices[1].getPortCOM(), "PCSC");

    // findAllPCSCDevices only appends.
    KLAVDeviceManager manager(UsbTtyEnumerator(tree_.sysRoot(), tree_.devRoot()),
                              {g_config.VID, g_config.PID});
    manager.findAllPCSCDevices();
    EXPECT_EQ(manager.getDeviceList().size(), 3u);
    manager.findSerialDevices();
    manager.findAllPCSCDevices();
    EXPECT_EQ(manager.getDeviceList().size(), 2u);

    ASSERT_TRUE(PrivatePcscd::shared().stop());
    devices = discover();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].getPortCOM(), "ttyACM0");
}

TEST_F(KLAVDeviceManagerPcscTest, DiscoveredReaderOpensAsAPortThatReachesTheTerminal)
{
    ASSERT_NO_FATAL_FAILURE(
        serve({reader("Acme Other", "Acme", "S0"), reader("Velantra Desk", "Velantra", "S1")}));
    std::vector<KLAVDevice> devices = discover();
    ASSERT_EQ(devices.size(), 1u);
    ASSERT_TRUE(devices[0].isPCSC());
    KLAVPcscPort port(devices[0].getLpFileName().c_str());
    ASSERT_TRUE(port.isConnected());
    std::vector<uint8_t> init{0x0F, 0xC0, 0x04, 0x00, 0x78, 0x01, 0x2C};
    appendCrc16Kermit(init);
    uint8_t reply[9] = {};
    int32_t length = sizeof reply;
    EXPECT_TRUE(port.ExecuteCommand(init.data(), int32_t(init.size()), reply, &length,
                                    port.getReadIntervalTimeout(), port.getReadTotalTimeout()));
    EXPECT_EQ(length, 9);
    EXPECT_EQ(reply[0], 0xF0);
    EXPECT_EQ(reply[1], 0xE0);
}
