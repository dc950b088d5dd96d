// The rest of the Windows platform layer under Wine: device discovery
// through SetupAPI, the program's folders, and the PC/SC control codes of
// the Windows smart-card header.

#include "WineLog.h"

#include "platform/AppFolders.h"
#include "platform/UsbTtyEnumerator.h"
#include "port/KLAVPcscPort.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

bool isFolder(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

// The device-setup service answers; every interface it lists is a USB
// device interface path whose port opens through that path.
TEST(WinePlatformTest, UsbDiscoveryReadsTheDeviceSetupService)
{
    UsbSerialScan scan = UsbTtyEnumerator().scan();
    EXPECT_TRUE(scan.opened);
    std::printf("USB device interfaces listed: %zu\n", scan.interfaces.size());
    for (const UsbSerialInterface &item : scan.interfaces) {
        std::printf("  %s | %s | %s\n", item.interfacePath.c_str(), item.friendlyName.c_str(),
                    item.portName.c_str());
        EXPECT_EQ(item.interfacePath.compare(0, 8, "\\\\?\\usb#"), 0) << item.interfacePath;
        EXPECT_EQ(item.fileName, item.interfacePath);
        if (item.friendlyName.empty()) {
            EXPECT_TRUE(item.portName.empty());
        }
    }
}

TEST(WinePlatformTest, ExecutableAndDocumentsFolders)
{
    char path[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(nullptr, path, MAX_PATH), 0u);
    std::string program = path;
    std::string folder = executableFolder();
    ASSERT_TRUE(isFolder(folder)) << folder;
    // The folder and the file name: nothing more, nothing less.
    EXPECT_EQ(program.compare(0, folder.size() + 1, folder + "\\"), 0) << folder;
    EXPECT_EQ(program.find('\\', folder.size() + 1), std::string::npos) << program;

    std::string documents = documentsFolder();
    EXPECT_TRUE(isFolder(documents)) << documents;
    EXPECT_NE(documents, folder);
}

// The same port source on Windows: the control codes come from the Windows
// header (device type 0x31), and the logged function number reads back.
TEST(WinePlatformTest, PcscControlCodesHaveTheWindowsNumbers)
{
    EXPECT_EQ(uint32_t(SCARD_CTL_CODE(3400)), 0x00313520u);
    EXPECT_EQ(uint32_t(SCARD_CTL_CODE(3500)), 0x003136B0u);
    EXPECT_EQ(KLAVPcscPort::controlFunctionNumber(SCARD_CTL_CODE(3500)), 3500u);
    const uint8_t features[] = {0x12, 0x04, 0x00, 0x31, 0x35, 0x24,
                                0x13, 0x04, 0x00, 0x31, 0x35, 0x20};
    EXPECT_EQ(KLAVPcscPort::escapeCodeFromFeatures(features, sizeof features), 0x00313520u);
}
