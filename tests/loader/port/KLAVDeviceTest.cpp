// Device records: fields parsed from device-interface paths, PC/SC records,
// copies and the log lines of the getters.

#include "LogCapture.h"

#include "port/KLAVDevice.h"

#include <gtest/gtest.h>

namespace {

const std::string kGuidText = "a5dcbf10-6530-11d2-901f-00c04fb951ed";

std::string pathWithInstance(const std::string &instance)
{
    return "\\\\?\\usb#vid_0e6b&pid_0080#" + instance + "#{" + kGuidText + "}";
}

KLAVDevice serialRecord(const std::string &path)
{
    return KLAVDevice(path, "/dev/ttyACM0", "ttyACM0", "Velantra QX", usbDeviceInterfaceClass());
}

} // namespace

TEST(KLAVDeviceTest, SerialRecordTakesItsFieldsFromThePath)
{
    KLAVDevice device = serialRecord(pathWithInstance("1234ABCD"));
    EXPECT_EQ(device.getVID(), "0e6b");
    EXPECT_EQ(device.getPID(), "0080");
    EXPECT_EQ(device.getSerialNumber(), "1234ABCD");
    EXPECT_EQ(device.getInterfaceClass(), kGuidText);
    EXPECT_EQ(device.getPortCOM(), "ttyACM0");
    EXPECT_EQ(device.getLpFileName(), "/dev/ttyACM0");
    EXPECT_EQ(device.getName(), "Velantra QX");
    EXPECT_EQ(device.getDevicePath(), pathWithInstance("1234ABCD"));
    EXPECT_FALSE(device.isPCSC());
    EXPECT_TRUE(device.getClassGuid() == usbDeviceInterfaceClass());

    // A bus position as instance holds no separator.
    EXPECT_EQ(serialRecord(pathWithInstance("1-2.3")).getSerialNumber(), "1-2.3");
}

TEST(KLAVDeviceTest, SeparatorsInTheInstanceShiftTheLaterFields)
{
    // # _ & _ # & # { }: the serial ends at the "&", the class lies between
    // the "#" and the "{".
    KLAVDevice ampersand = serialRecord(pathWithInstance("12&34"));
    EXPECT_EQ(ampersand.getVID(), "0e6b");
    EXPECT_EQ(ampersand.getPID(), "0080");
    EXPECT_EQ(ampersand.getSerialNumber(), "12");
    EXPECT_EQ(ampersand.getInterfaceClass(), "");

    KLAVDevice underscore = serialRecord(pathWithInstance("AB_CD"));
    EXPECT_EQ(underscore.getSerialNumber(), "AB");
    EXPECT_EQ(underscore.getInterfaceClass(), "");

    // # _ & _ # & _ # { }: the class is the text between "_" and "#".
    KLAVDevice two = serialRecord(pathWithInstance("A&B_C"));
    EXPECT_EQ(two.getSerialNumber(), "A");
    EXPECT_EQ(two.getInterfaceClass(), "C");
}

TEST(KLAVDeviceTest, PathWithTooFewSeparatorsLeavesTheFieldsEmpty)
{
    for (const std::string path : {"/dev/ttyACM0", "COM3", "", "usb#vid_0e6b&pid_0080#x"}) {
        KLAVDevice device = serialRecord(path);
        EXPECT_EQ(device.getVID(), "") << path;
        EXPECT_EQ(device.getPID(), "") << path;
        EXPECT_EQ(device.getSerialNumber(), "") << path;
        EXPECT_EQ(device.getInterfaceClass(), "") << path;
        EXPECT_FALSE(device.isPCSC());
    }
}

TEST(KLAVDeviceTest, PcscRecordHasTheMakersIdentifiersAndTheSerialFromItsName)
{
    KLAVDevice reader("Velantra QX Reader (0A1B2C) 00 00", "Velantra QX Reader (0A1B2C) 00 00",
                      "PCSC", "Velantra QX Reader (0A1B2C) 00 00", usbDeviceInterfaceClass());
    EXPECT_TRUE(reader.isPCSC());
    EXPECT_EQ(reader.getVID(), "0E6B");
    EXPECT_EQ(reader.getPID(), "0000");
    EXPECT_EQ(reader.getSerialNumber(), "0A1B2C");
    EXPECT_EQ(reader.getInterfaceClass(), "");
    EXPECT_EQ(reader.getPortCOM(), "PCSC");

    auto serialOf = [](const std::string &name) {
        return KLAVDevice(name, name, "PCSC", name, usbDeviceInterfaceClass()).getSerialNumber();
    };
    EXPECT_EQ(serialOf("Reader (123"), "123");                    // no closing parenthesis
    EXPECT_EQ(serialOf("Velantra Reader 00 00"), "Reader 00 00"); // after the blank, cut at the end
    EXPECT_EQ(serialOf("Ab CDEFGHIJKLMNOP"), "CDEFGHIJKLM");      // blank at 2: 11 bytes
    EXPECT_EQ(serialOf("VelantraQXReader"), "Velantra");          // no blank: 8 bytes
    EXPECT_EQ(serialOf("Abc"), "Abc");

    // Only "PCSC" exactly makes a PC/SC record.
    KLAVDevice lower("r", "r", "pcsc", "r", usbDeviceInterfaceClass());
    EXPECT_FALSE(lower.isPCSC());
}

TEST(KLAVDeviceTest, DefaultRecordIsEmptyAndCopiesAreWhole)
{
    KLAVDevice empty;
    EXPECT_EQ(empty.getName(), "");
    EXPECT_EQ(empty.getPortCOM(), "");
    EXPECT_EQ(empty.getLpFileName(), "");
    EXPECT_FALSE(empty.isPCSC());
    EXPECT_TRUE(empty.getClassGuid() == KLAVGuid());

    KLAVDevice original = serialRecord(pathWithInstance("S1"));
    KLAVDevice copy(original);
    KLAVDevice assigned;
    assigned = original;
    for (const KLAVDevice *device : {&copy, &assigned}) {
        EXPECT_EQ(device->getDevicePath(), original.getDevicePath());
        EXPECT_EQ(device->getLpFileName(), "/dev/ttyACM0");
        EXPECT_EQ(device->getPortCOM(), "ttyACM0");
        EXPECT_EQ(device->getName(), "Velantra QX");
        EXPECT_EQ(device->getVID(), "0e6b");
        EXPECT_EQ(device->getPID(), "0080");
        EXPECT_EQ(device->getSerialNumber(), "S1");
        EXPECT_EQ(device->getInterfaceClass(), kGuidText);
        EXPECT_TRUE(device->getClassGuid() == usbDeviceInterfaceClass());
        EXPECT_FALSE(device->isPCSC());
    }
    KLAVDevice pcsc("R (9)", "R (9)", "PCSC", "R (9)", usbDeviceInterfaceClass());
    assigned = pcsc;
    EXPECT_TRUE(assigned.isPCSC());
    EXPECT_EQ(assigned.getVID(), "0E6B");
}

TEST(KLAVDeviceTest, LogLinesOfConstructionGettersAndCopies)
{
    LogCapture log;
    {
        KLAVDevice device = serialRecord(pathWithInstance("X"));
        device.getLpFileName();
        device.getName();
        device.getPID();
        device.getPortCOM();
        device.getVID();
        device.isPCSC();
        KLAVDevice pcsc("R (9)", "R (9)", "PCSC", "R (9)", usbDeviceInterfaceClass());
        pcsc.isPCSC();
        int before = int(log.messages().size());
        KLAVDevice copy(device);
        copy = pcsc;
        EXPECT_EQ(int(log.messages().size()), before); // copies write nothing
    }
    std::vector<std::string> expected = {
        "KLAVDevice::KLAVDevice",    "KLAVDevice::getInfoFromPath", "KLAVDevice::getInfoFromPath",
        "KLAVDevice::getLpFileName", "KLAVDevice::getName",         "KLAVDevice::getPID",
        "KLAVDevice::getPortCOM",    "KLAVDevice::getVID",          "KLAVDevice::isPCSC - FALSE",
        "KLAVDevice::KLAVDevice",    "KLAVDevice::isPCSC - TRUE",   "KLAVDevice::~KLAVDevice",
        "KLAVDevice::~KLAVDevice",   "KLAVDevice::~KLAVDevice",
    };
    std::vector<std::string> messages = log.messages();
    messages.erase(messages.begin()); // the log's own opening line
    EXPECT_EQ(messages, expected);
}
