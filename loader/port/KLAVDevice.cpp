#include "KLAVDevice.h"

#include "base/KLAVLog.h"

#include <utility>
#include <vector>

KLAVDevice::KLAVDevice()
{
    writeLog(LOG_INFO, "KLAVDevice::KLAVDevice");
}

KLAVDevice::KLAVDevice(std::string devicePath, std::string lpFileName, std::string port,
                       std::string name, KLAVGuid classGuid)
    : devicePath_(std::move(devicePath)), port_(std::move(port)), name_(std::move(name)),
      classGuid_(classGuid), lpFileName_(std::move(lpFileName))
{
    writeLog(LOG_INFO, "KLAVDevice::KLAVDevice");
    if (port_ == kPcscPort) {
        completePcscRecord();
    } else {
        pcsc_ = 0;
        getInfoFromPath();
    }
}

KLAVDevice::~KLAVDevice()
{
    writeLog(LOG_INFO, "KLAVDevice::~KLAVDevice");
}

void KLAVDevice::completePcscRecord()
{
    pcsc_ = 1;
    vid_ = kPcscVendor;
    pid_ = kPcscProduct;
    interfaceClass_.clear();
    size_t open = name_.find('(');
    if (open != std::string::npos) {
        size_t close = name_.find(')', open + 1);
        size_t end = (close == std::string::npos) ? name_.size() : close;
        serialNumber_ = name_.substr(open + 1, end - open - 1);
        return;
    }
    // A reader name without a parenthesised serial number: the text after the
    // first blank, as long as the blank's position plus 9, else 8 bytes.
    size_t blank = name_.find(' ');
    if (blank == std::string::npos)
        serialNumber_ = name_.substr(0, 8);
    else
        serialNumber_ = name_.substr(blank + 1, blank + 9);
}

// The path's fields lie between separator bytes: with s0, s1, ... the
// positions of every "_", "#", "&", "{" and "}", the vendor lies between s1
// and s2, the product between s3 and s4, the serial number between s4 and s5
// and the interface class between s6 and s7. A serial number holding a
// separator shifts the later fields; the rule is applied all the same. A path
// with fewer than eight separators is not a device-interface path and leaves
// the four fields empty.
void KLAVDevice::getInfoFromPath()
{
    KLAVLogScope scope("KLAVDevice::getInfoFromPath");
    std::vector<size_t> s;
    for (size_t i = 0; i < devicePath_.size(); ++i) {
        char c = devicePath_[i];
        if (c == '_' || c == '#' || c == '&' || c == '{' || c == '}')
            s.push_back(i);
    }
    auto between = [&](size_t a, size_t b) {
        return devicePath_.substr(s[a] + 1, s[b] - s[a] - 1);
    };
    if (s.size() >= 8) {
        vid_ = between(1, 2);
        pid_ = between(3, 4);
        serialNumber_ = between(4, 5);
        interfaceClass_ = between(6, 7);
    } else {
        vid_.clear();
        pid_.clear();
        serialNumber_.clear();
        interfaceClass_.clear();
    }
}

std::string KLAVDevice::getLpFileName() const
{
    writeLog(LOG_INFO, "KLAVDevice::getLpFileName");
    return lpFileName_;
}

std::string KLAVDevice::getName() const
{
    writeLog(LOG_INFO, "KLAVDevice::getName");
    return name_;
}

std::string KLAVDevice::getPID() const
{
    writeLog(LOG_INFO, "KLAVDevice::getPID");
    return pid_;
}

std::string KLAVDevice::getPortCOM() const
{
    writeLog(LOG_INFO, "KLAVDevice::getPortCOM");
    return port_;
}

std::string KLAVDevice::getVID() const
{
    writeLog(LOG_INFO, "KLAVDevice::getVID");
    return vid_;
}

bool KLAVDevice::isPCSC() const
{
    writeLog(LOG_INFO, "KLAVDevice::isPCSC - %s", pcsc_ ? "TRUE" : "FALSE");
    return pcsc_ != 0;
}
