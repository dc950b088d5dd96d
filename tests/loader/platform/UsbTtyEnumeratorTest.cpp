// USB serial ports found in sysfs trees built by the tests.

#include "SysfsTree.h"

#include "platform/UsbTtyEnumerator.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

const std::string kClassSuffix = "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

std::vector<std::string> ports(const UsbSerialScan &scan)
{
    std::vector<std::string> names;
    for (const UsbSerialInterface &item : scan.interfaces)
        names.push_back(item.portName);
    return names;
}

} // namespace

TEST(UsbTtyEnumeratorTest, DescribesAUsbTtyAsWindowsDiscoveryWould)
{
    SysfsTree tree;
    tree.addUsbTty({});
    UsbSerialScan scan = UsbTtyEnumerator(tree.sysRoot(), tree.devRoot()).scan();
    ASSERT_TRUE(scan.opened);
    ASSERT_EQ(scan.interfaces.size(), 1u);
    const UsbSerialInterface &item = scan.interfaces[0];
    EXPECT_EQ(item.interfacePath, "\\\\?\\usb#vid_0e6b&pid_0080#1234ABCD" + kClassSuffix);
    EXPECT_EQ(item.friendlyName, "Velantra QX (ttyACM0)");
    EXPECT_EQ(item.portName, "ttyACM0");
    EXPECT_EQ(item.fileName, tree.devRoot() + "/ttyACM0");
}

TEST(UsbTtyEnumeratorTest, FillsInMissingProductAndSerialLikeWindows)
{
    SysfsTree tree;
    SysfsTree::UsbTty tty;
    tty.port = "ttyUSB0";
    tty.busPosition = "1-2.3";
    tty.usbSerialDriver = true; // the USB-serial driver's deeper layout
    tty.product.reset();
    tty.serial = std::string("");
    tree.addUsbTty(tty);
    UsbSerialScan scan = UsbTtyEnumerator(tree.sysRoot(), tree.devRoot()).scan();
    ASSERT_EQ(scan.interfaces.size(), 1u);
    EXPECT_EQ(scan.interfaces[0].friendlyName, "USB Serial Device (ttyUSB0)");
    EXPECT_EQ(scan.interfaces[0].interfacePath,
              "\\\\?\\usb#vid_0e6b&pid_0080#1-2.3" + kClassSuffix);
}

TEST(UsbTtyEnumeratorTest, SkipsTtysWithoutUsbDeviceIdentifiersOrDeviceNode)
{
    SysfsTree tree;
    tree.addPlatformTty("ttyS0");
    SysfsTree::UsbTty noVendor;
    noVendor.port = "ttyACM1";
    noVendor.busPosition = "1-3";
    noVendor.idVendor.reset();
    tree.addUsbTty(noVendor);
    SysfsTree::UsbTty noProduct;
    noProduct.port = "ttyACM2";
    noProduct.busPosition = "1-4";
    noProduct.idProduct.reset();
    tree.addUsbTty(noProduct);
    SysfsTree::UsbTty noNode;
    noNode.port = "ttyACM3";
    noNode.busPosition = "1-5";
    noNode.deviceNode = false;
    tree.addUsbTty(noNode);
    SysfsTree::UsbTty good;
    good.port = "ttyACM4";
    good.busPosition = "1-6";
    tree.addUsbTty(good);
    UsbSerialScan scan = UsbTtyEnumerator(tree.sysRoot(), tree.devRoot()).scan();
    EXPECT_TRUE(scan.opened);
    EXPECT_EQ(ports(scan), std::vector<std::string>{"ttyACM4"});
}

TEST(UsbTtyEnumeratorTest, DeviceNodeFollowsTheDevnameOfTheUevent)
{
    SysfsTree tree;
    SysfsTree::UsbTty tty;
    tty.devName = "pts/7";
    tree.addUsbTty(tty);
    UsbSerialScan scan = UsbTtyEnumerator(tree.sysRoot(), tree.devRoot()).scan();
    ASSERT_EQ(scan.interfaces.size(), 1u);
    EXPECT_EQ(scan.interfaces[0].portName, "ttyACM0");
    EXPECT_EQ(scan.interfaces[0].fileName, tree.devRoot() + "/pts/7");

    // A uevent without DEVNAME (no kernel writes one): the port's own name.
    SysfsTree bare;
    SysfsTree::UsbTty noName;
    noName.noDevName = true;
    bare.addUsbTty(noName);
    scan = UsbTtyEnumerator(bare.sysRoot(), bare.devRoot()).scan();
    ASSERT_EQ(scan.interfaces.size(), 1u);
    EXPECT_EQ(scan.interfaces[0].fileName, bare.devRoot() + "/ttyACM0");
}

TEST(UsbTtyEnumeratorTest, ListsPortsInNaturalOrder)
{
    SysfsTree tree;
    int bus = 2;
    for (const char *port : {"ttyACM10", "ttyUSB0", "ttyACM2", "ttyACM0"}) {
        SysfsTree::UsbTty tty;
        tty.port = port;
        tty.busPosition = "1-" + std::to_string(bus++);
        tree.addUsbTty(tty);
    }
    UsbSerialScan scan = UsbTtyEnumerator(tree.sysRoot(), tree.devRoot()).scan();
    EXPECT_EQ(ports(scan), (std::vector<std::string>{"ttyACM0", "ttyACM2", "ttyACM10", "ttyUSB0"}));
}

TEST(UsbTtyEnumeratorTest, MissingOrEmptyTtyClass)
{
    SysfsTree tree;
    UsbSerialScan empty = UsbTtyEnumerator(tree.sysRoot(), tree.devRoot()).scan();
    EXPECT_TRUE(empty.opened);
    EXPECT_TRUE(empty.interfaces.empty());
    UsbSerialScan missing = UsbTtyEnumerator(tree.root() + "/nothing", tree.devRoot()).scan();
    EXPECT_FALSE(missing.opened);
}

TEST(UsbTtyEnumeratorTest, RunningSystemListsOnlyExistingNodes)
{
    UsbTtyEnumerator system;
    EXPECT_EQ(system.sysfsRoot(), "/sys");
    EXPECT_EQ(system.devRoot(), "/dev");
    UsbSerialScan scan = system.scan();
    for (const UsbSerialInterface &item : scan.interfaces) {
        struct stat info;
        EXPECT_EQ(stat(item.fileName.c_str(), &info), 0) << item.fileName;
        EXPECT_EQ(item.interfacePath.compare(0, 12, "\\\\?\\usb#vid_"), 0);
    }
}
