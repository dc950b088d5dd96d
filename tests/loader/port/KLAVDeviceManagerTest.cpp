// Discovery of supported USB serial terminals in sysfs trees built by the
// tests, against the configured VID/PID pairs.

#include "LogCapture.h"
#include "SysfsTree.h"

#include "base/KLAVConfig.h"
#include "port/KLAVDeviceManager.h"

#include <gtest/gtest.h>

namespace {

class KLAVDeviceManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedVid_ = g_config.VID;
        savedPid_ = g_config.PID;
    }
    void TearDown() override
    {
        g_config.VID = savedVid_;
        g_config.PID = savedPid_;
    }

    // One USB tty per (vid, pid), ports ttyACM0, ttyACM1, ...
    void addDevices(const std::vector<std::pair<std::string, std::string>> &ids)
    {
        for (const auto &id : ids) {
            SysfsTree::UsbTty tty;
            tty.port = "ttyACM" + std::to_string(next_);
            tty.busPosition = "1-" + std::to_string(next_ + 1);
            tty.serial = "SN" + std::to_string(next_);
            tty.idVendor = id.first;
            tty.idProduct = id.second;
            tree_.addUsbTty(tty);
            ++next_;
        }
    }

    std::vector<std::string> discoveredPorts()
    {
        KLAVDeviceManager manager(enumerator(), {g_config.VID, g_config.PID});
        std::vector<std::string> ports;
        for (const KLAVDevice &device : manager.getDeviceList())
            ports.push_back(device.getPortCOM());
        return ports;
    }

    UsbTtyEnumerator enumerator() { return UsbTtyEnumerator(tree_.sysRoot(), tree_.devRoot()); }

    SysfsTree tree_;
    int next_ = 0;

private:
    std::vector<std::string> savedVid_, savedPid_;
};

using Ports = std::vector<std::string>;

} // namespace

TEST(IdentifierComparisonTest, LettersWithoutCaseOneTrailingCarriageReturnDropped)
{
    EXPECT_TRUE(KLAVDeviceManager::identifiersMatch("0e6b", "0E6B"));
    EXPECT_TRUE(KLAVDeviceManager::identifiersMatch("0E6B", "0e6b"));
    EXPECT_TRUE(KLAVDeviceManager::identifiersMatch("0e6b", "0E6B\r"));
    EXPECT_TRUE(KLAVDeviceManager::identifiersMatch("0e6b\r", "0e6b"));
    EXPECT_TRUE(KLAVDeviceManager::identifiersMatch("", ""));
    EXPECT_TRUE(KLAVDeviceManager::identifiersMatch("\r", ""));
    EXPECT_FALSE(KLAVDeviceManager::identifiersMatch("0e6b", "0e6"));
    EXPECT_FALSE(KLAVDeviceManager::identifiersMatch("0e6b", "0e6c"));
    EXPECT_FALSE(KLAVDeviceManager::identifiersMatch("0e6b", "0e6b\r\r")); // only one dropped
    EXPECT_FALSE(KLAVDeviceManager::identifiersMatch("0e6b", " 0e6b"));
    // Case folding is for ASCII letters only.
    EXPECT_FALSE(KLAVDeviceManager::identifiersMatch("@", "`"));
    EXPECT_FALSE(KLAVDeviceManager::identifiersMatch("\xC9", "\xE9"));
    EXPECT_TRUE(KLAVDeviceManager::identifiersMatch("\xC9", "\xC9"));
}

TEST(FriendlyNameTest, CutBeforeTheOpeningParenthesisLessOneByte)
{
    EXPECT_EQ(KLAVDeviceManager::cutFriendlyName("Velantra QX (COM3)"), "Velantra QX");
    EXPECT_EQ(KLAVDeviceManager::cutFriendlyName("Velantra QX(COM3)"), "Velantra Q");
    EXPECT_EQ(KLAVDeviceManager::cutFriendlyName("Term (A) (ttyACM0)"), "Term");
    EXPECT_EQ(KLAVDeviceManager::cutFriendlyName("No parenthesis"), "No parenthesis");
    EXPECT_EQ(KLAVDeviceManager::cutFriendlyName("(COM3)"), "(COM3)");
    EXPECT_EQ(KLAVDeviceManager::cutFriendlyName(""), "");
}

TEST_F(KLAVDeviceManagerTest, ConfiguredPairsMatchInEitherLetterCase)
{
    addDevices({{"0e6b", "00a0"}, {"0E6B", "00A1"}, {"1234", "00a0"}});
    g_config.VID = {"0E6B", "0e6b"};
    g_config.PID = {"00A0", "00a1"};
    EXPECT_EQ(discoveredPorts(), (Ports{"ttyACM0", "ttyACM1"}));
}

TEST_F(KLAVDeviceManagerTest, EntriesEndingInCarriageReturnMatch)
{
    addDevices({{"0e6b", "0080"}});
    g_config.VID = {"0E6B\r"};
    g_config.PID = {"0080\r"};
    EXPECT_EQ(discoveredPorts(), Ports{"ttyACM0"});
}

TEST_F(KLAVDeviceManagerTest, OnlyTheFirstMinCountPairsAreTriedAndPairsStayTogether)
{
    // Pairs: (0E6B, 0080), (1111, 0081); the third VID has no partner.
    addDevices({{"0e6b", "0081"}, {"1111", "0081"}, {"2222", "0080"}, {"0e6b", "0080"}});
    g_config.VID = {"0E6B", "1111", "2222"};
    g_config.PID = {"0080", "0081"};
    LogCapture log;
    EXPECT_EQ(discoveredPorts(), (Ports{"ttyACM1", "ttyACM3"}));
    EXPECT_EQ(log.count("One supported device was found"), 2);
}

TEST_F(KLAVDeviceManagerTest, WithoutSupportedListEveryUsbTtyIsListed)
{
    addDevices({{"0e6b", "0080"}, {"1a86", "7523"}});
    tree_.addPlatformTty("ttyS0");
    g_config.VID.clear();
    g_config.PID = {"0080"};
    LogCapture log;
    EXPECT_EQ(discoveredPorts(), (Ports{"ttyACM0", "ttyACM1"}));
    EXPECT_EQ(log.count("No information of supported devices, one new device added"), 2);

    g_config.VID = {"0E6B"};
    g_config.PID.clear();
    EXPECT_EQ(discoveredPorts(), (Ports{"ttyACM0", "ttyACM1"}));
}

TEST_F(KLAVDeviceManagerTest, RecordCarriesPathPortFileAndCutName)
{
    SysfsTree::UsbTty tty;
    tty.product = std::string("Velantra QX (v2)");
    tty.devName = "pts/4";
    tree_.addUsbTty(tty);
    g_config.VID = {"0E6B"};
    g_config.PID = {"0080"};
    KLAVDeviceManager manager(enumerator(), {g_config.VID, g_config.PID});
    std::vector<KLAVDevice> devices = manager.getDeviceList();
    ASSERT_EQ(devices.size(), 1u);
    const KLAVDevice &device = devices[0];
    EXPECT_EQ(device.getName(), "Velantra QX");
    EXPECT_EQ(device.getPortCOM(), "ttyACM0");
    EXPECT_EQ(device.getLpFileName(), tree_.devRoot() + "/pts/4");
    EXPECT_EQ(device.getDevicePath(),
              "\\\\?\\usb#vid_0e6b&pid_0080#1234ABCD#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
    EXPECT_EQ(device.getVID(), "0e6b");
    EXPECT_EQ(device.getPID(), "0080");
    EXPECT_EQ(device.getSerialNumber(), "1234ABCD");
    EXPECT_FALSE(device.isPCSC());
}

TEST_F(KLAVDeviceManagerTest, SerialNumberWithSeparatorShiftsTheParsedFields)
{
    SysfsTree::UsbTty shifted;
    shifted.serial = std::string("AB_12");
    tree_.addUsbTty(shifted);
    g_config.VID = {"0e6b"};
    g_config.PID = {"0080"};
    KLAVDeviceManager manager(enumerator(), {g_config.VID, g_config.PID});
    std::vector<KLAVDevice> devices = manager.getDeviceList();
    ASSERT_EQ(devices.size(), 1u); // vendor and product lie before the serial
    EXPECT_EQ(devices[0].getSerialNumber(), "AB");
    EXPECT_EQ(devices[0].getInterfaceClass(), "");
}

TEST_F(KLAVDeviceManagerTest, DevicesWithMissingAttributesAreNotListed)
{
    SysfsTree::UsbTty noVendor;
    noVendor.port = "ttyACM0";
    noVendor.busPosition = "1-1";
    noVendor.idVendor.reset();
    tree_.addUsbTty(noVendor);
    SysfsTree::UsbTty noNode;
    noNode.port = "ttyACM1";
    noNode.busPosition = "1-2";
    noNode.deviceNode = false;
    tree_.addUsbTty(noNode);
    SysfsTree::UsbTty unnamed;
    unnamed.port = "ttyACM2";
    unnamed.busPosition = "1-3";
    unnamed.product.reset();
    unnamed.serial.reset();
    tree_.addUsbTty(unnamed);
    g_config.VID.clear();
    g_config.PID.clear();
    KLAVDeviceManager manager(enumerator(), {g_config.VID, g_config.PID});
    std::vector<KLAVDevice> devices = manager.getDeviceList();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].getPortCOM(), "ttyACM2");
    EXPECT_EQ(devices[0].getName(), "USB Serial Device");
    EXPECT_EQ(devices[0].getSerialNumber(), "1-3");
}

TEST_F(KLAVDeviceManagerTest, RefreshRebuildsTheListAndCopiesStayIndependent)
{
    addDevices({{"0e6b", "0080"}});
    g_config.VID.clear();
    g_config.PID.clear();
    LogCapture log;
    KLAVDeviceManager manager(enumerator(), {g_config.VID, g_config.PID});
    std::vector<KLAVDevice> before = manager.getDeviceList();
    manager.findSerialDevices();
    manager.findAllPCSCDevices();
    EXPECT_EQ(manager.getDeviceList().size(), 1u); // rebuilt, not doubled
    addDevices({{"0e6b", "0080"}});
    manager.findSerialDevices();
    EXPECT_EQ(manager.getDeviceList().size(), 2u);
    EXPECT_EQ(before.size(), 1u);
    manager.clearDeviceList();
    EXPECT_TRUE(manager.getDeviceList().empty());
    EXPECT_EQ(log.count("KLAVDeviceManager::findSerialDevices"), 6);
    EXPECT_EQ(log.count("KLAVDeviceManager::findAllPCSCDevices"), 4);
    EXPECT_EQ(log.count("Device enumerating succeeded"), 3);
    EXPECT_GE(log.count("KLAVDeviceManager::getDeviceList"), 4);
}

TEST_F(KLAVDeviceManagerTest, EnumerationFailuresOnlyShortenTheList)
{
    LogCapture log;
    KLAVDeviceManager empty(enumerator(), {g_config.VID, g_config.PID});
    EXPECT_TRUE(empty.getDeviceList().empty());
    EXPECT_TRUE(log.has("Device enumerating failed"));
    KLAVDeviceManager missing(UsbTtyEnumerator(tree_.root() + "/no-sys", tree_.devRoot()),
                              {g_config.VID, g_config.PID});
    EXPECT_TRUE(missing.getDeviceList().empty());
    EXPECT_TRUE(log.has("Invalid device handler"));
}
