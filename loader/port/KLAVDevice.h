#pragma once
// Record of one connected terminal: a USB serial device (its device-interface
// path, port name and friendly name) or a PC/SC reader (port "PCSC"). Copied
// by value from discovery into the window, the console load and the loading
// protocol.

#include "port/KLAVGuid.h"

#include <cstdint>
#include <string>

class KLAVDevice {
public:
    KLAVDevice();
    // Fills the identifiers from devicePath for a serial device, or sets the
    // PC/SC values when port is "PCSC".
    KLAVDevice(std::string devicePath, std::string lpFileName, std::string port, std::string name,
               KLAVGuid classGuid);
    KLAVDevice(const KLAVDevice &) = default;
    KLAVDevice &operator=(const KLAVDevice &) = default;
    virtual ~KLAVDevice();

    std::string getLpFileName() const;
    std::string getName() const;
    std::string getPID() const;
    std::string getPortCOM() const;
    std::string getVID() const;
    bool isPCSC() const;

    // Vendor, product, serial number and interface class from the device
    // path's fields (see the .cpp for the separator rule).
    void getInfoFromPath();

    // Fields kept in the record that the load itself does not need.
    std::string getDevicePath() const { return devicePath_; }
    std::string getSerialNumber() const { return serialNumber_; }
    std::string getInterfaceClass() const { return interfaceClass_; }
    KLAVGuid getClassGuid() const { return classGuid_; }

    static constexpr const char *kPcscPort = "PCSC";
    static constexpr const char *kPcscVendor = "0E6B";
    static constexpr const char *kPcscProduct = "0000";

private:
    void completePcscRecord();

    std::string devicePath_;
    std::string pid_;
    std::string vid_;
    std::string serialNumber_;
    std::string interfaceClass_;
    std::string port_;
    std::string name_;
    KLAVGuid classGuid_;
    std::string lpFileName_;
    int32_t pcsc_ = 0;
};
