// Inputs the fuzz targets found that broke a check, kept as regression
// cases.
//
// Discovery: a USB device reports its own serial number, and discovery put
// whatever bytes it held (control bytes, non-ASCII bytes) into the device
// path, the window's list and the log. Windows refuses such a serial number
// (a byte below 0x20 or above 0x7F, or a comma) and names the device by its
// bus position; discovery now does the same. Separators of the path stay
// allowed and shift the later fields as the path rule states.

#include "SysfsTree.h"

#include "platform/UsbTtyEnumerator.h"
#include "port/KLAVDevice.h"
#include "port/KLAVGuid.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

TEST(FuzzFindings, DeviceSerialNumbersThatCannotStandInThePath)
{
    const struct {
        std::string serial;
        std::string recorded;
    } cases[] = {
        {"1234ABCD", "1234ABCD"}, {std::string("\xc3\xc3\x00MAJOR#166", 12), "1-2"},
        {"AB,CD", "1-2"},         {"AB\tCD", "1-2"},
        {"AB\x7f", "AB\x7f"},     {"caf\xc3\xa9", "1-2"},
        {"AB CD", "AB CD"},       {"AB#CD", "AB"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.serial);
        SysfsTree tree;
        SysfsTree::UsbTty tty;
        tty.serial = c.serial;
        tree.addUsbTty(tty);
        const UsbSerialScan scan = UsbTtyEnumerator(tree.sysRoot(), tree.devRoot()).scan();
        ASSERT_EQ(scan.interfaces.size(), 1u);
        const UsbSerialInterface &item = scan.interfaces[0];
        const KLAVDevice device(item.interfacePath, item.fileName, item.portName, item.friendlyName,
                                usbDeviceInterfaceClass());
        EXPECT_EQ(device.getVID(), "0e6b");
        EXPECT_EQ(device.getPID(), "0080");
        EXPECT_EQ(device.getSerialNumber(), c.recorded);
    }
}

// Discovery: the node a port opens is the device folder joined with the
// DEVNAME of the tty's uevent, and "/.." made the device folder's parent the
// port, as did "." followed by a zero byte (the path is cut there where it is
// used). A DEVNAME that would lead out of the folder or holds a control byte
// now counts as none: the port's own name is used.
TEST(FuzzFindings, DeviceNodeNamesThatLeaveTheDeviceFolder)
{
    const struct {
        std::string devName;
        std::string node; // below the device folder
    } cases[] = {
        {"/..", "ttyACM0"},
        {"..", "ttyACM0"},
        {"../escape", "ttyACM0"},
        {"a/../b", "ttyACM0"},
        {"./ttyACM0", "ttyACM0"},
        {"serial//ACM0", "ttyACM0"},
        {"/dev/ttyS0", "ttyACM0"},
        {"serial/by-name/qx", "serial/by-name/qx"},
        {std::string(".\0\0E=/..DEV", 11), "ttyACM0"},
        {"..DEV", "..DEV"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.devName);
        SysfsTree tree;
        SysfsTree::UsbTty tty;
        tty.devName = c.devName;
        tree.addUsbTty(tty);
        std::ofstream(tree.devRoot() + "/ttyACM0") << "";
        const UsbSerialScan scan = UsbTtyEnumerator(tree.sysRoot(), tree.devRoot()).scan();
        ASSERT_EQ(scan.interfaces.size(), 1u);
        EXPECT_EQ(scan.interfaces[0].fileName, tree.devRoot() + "/" + c.node);
    }
}
