#pragma once
// Lists the serial ports of present USB devices, each described the way the
// Windows device-setup service describes it, so that discovery above is the
// same code on every platform.

#include <string>
#include <vector>

struct UsbSerialInterface {
    // Device-interface path of the Windows form,
    // \\?\usb#vid_0c59&pid_0012#<serial>#{a5dcbf10-6530-11d2-901f-00c04fb951ed};
    // a device without a serial number has its USB bus position (1-2.3) there.
    std::string interfacePath;
    // "<product> (<port>)"; empty when the device has no friendly name.
    std::string friendlyName;
    // The kernel's name for the port (ttyACM0), as COM3 is on Windows;
    // empty when the device has none.
    std::string portName;
    // The path a port opens (/dev/ttyACM0).
    std::string fileName;
};

struct UsbSerialScan {
    bool opened = false; // false: the list of devices could not be read at all
    std::vector<UsbSerialInterface> interfaces; // in the platform's enumeration order
};

class UsbTtyEnumerator {
public:
    // The running system's device tree and device nodes.
    UsbTtyEnumerator();
    // A device tree laid out like the kernel's sysfs under sysfsRoot
    // (class/tty/<port> leading to .../<usb device>/<interface>/.../<port>),
    // with device nodes under devRoot. A port's node is devRoot + "/" + the
    // DEVNAME its uevent file gives (the port's own name when it gives none or
    // one that would lead out of devRoot).
    UsbTtyEnumerator(std::string sysfsRoot, std::string devRoot);

    UsbSerialScan scan() const;

    const std::string &sysfsRoot() const { return sysfsRoot_; }
    const std::string &devRoot() const { return devRoot_; }

private:
    std::string sysfsRoot_;
    std::string devRoot_;
};
