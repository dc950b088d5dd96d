#include "HostPlatform.h"

#include <climits>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char *kSoname = "librdrload.so.1";

} // namespace

std::string defaultLibraryPath()
{
    char self[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return kSoname;
    std::string path(self, static_cast<std::size_t>(length));
    std::string beside = path.substr(0, path.rfind('/')) + "/../lib/" + kSoname;
    struct stat info {};
    return ::stat(beside.c_str(), &info) == 0 ? beside : kSoname;
}

bool outputIsTerminal()
{
    return ::isatty(STDOUT_FILENO) == 1;
}

std::string portDevice(unsigned char port, bool &present)
{
    struct stat info {};
    // The library's rule: the COM entry when there is one, link or not.
    std::string device = "/dev/COM" + std::to_string(port);
    if (::lstat(device.c_str(), &info) != 0)
        device = "/dev/ttyS" + std::to_string(port - 1);
    present = ::stat(device.c_str(), &info) == 0;
    return device;
}
