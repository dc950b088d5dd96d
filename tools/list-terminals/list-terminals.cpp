// list-terminals: the records of KLAVCharger's discovery, as the window and
// the console load get them, one line each; for comparing what the kernel's
// sysfs and a PC/SC service give with what the tests' device trees give.
//
//   list-terminals [--sysfs ROOT --dev ROOT] [--id VID:PID]...
//
// Without --id every USB serial device is listed (as with no VID/PID in the
// configuration file); each --id adds one supported pair.

#include "platform/UsbTtyEnumerator.h"
#include "port/KLAVDeviceManager.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int usage()
{
    std::fputs("usage: list-terminals [--sysfs ROOT --dev ROOT] [--id VID:PID]...\n", stderr);
    return 64;
}

} // namespace

int main(int argc, char **argv)
{
    std::string sysfs = "/sys", dev = "/dev";
    KLAVDeviceManager::SupportedIds ids;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (i + 1 >= argc)
            return usage();
        const std::string value = argv[++i];
        if (name == "--sysfs") {
            sysfs = value;
        } else if (name == "--dev") {
            dev = value;
        } else if (name == "--id") {
            const size_t colon = value.find(':');
            if (colon == std::string::npos)
                return usage();
            ids.vid.push_back(value.substr(0, colon));
            ids.pid.push_back(value.substr(colon + 1));
        } else {
            return usage();
        }
    }
    const UsbTtyEnumerator enumerator(sysfs, dev);
    for (const UsbSerialInterface &item : enumerator.scan().interfaces)
        std::printf("interface path=%s friendly=\"%s\" port=%s file=%s\n",
                    item.interfacePath.c_str(), item.friendlyName.c_str(), item.portName.c_str(),
                    item.fileName.c_str());
    const KLAVDeviceManager manager(enumerator, ids);
    for (const KLAVDevice &device : manager.getDeviceList())
        std::printf("terminal name=\"%s\" port=%s vid=%s pid=%s serial=%s pcsc=%d file=%s\n",
                    device.getName().c_str(), device.getPortCOM().c_str(), device.getVID().c_str(),
                    device.getPID().c_str(), device.getSerialNumber().c_str(),
                    device.isPCSC() ? 1 : 0, device.getLpFileName().c_str());
    return 0;
}
