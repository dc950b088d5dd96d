#include "HostPlatform.h"

#include <climits>
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
