#include "ReadOnlyFolder.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace {

// The calling thread's capability sets (pid 0: this thread only).
bool capabilities(__user_cap_data_struct (&data)[2], bool set)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(set ? SYS_capset : SYS_capget, &header, data) == 0;
}

bool setDacOverride(bool on)
{
    __user_cap_data_struct data[2] = {};
    if (!capabilities(data, false))
        return false;
    const unsigned bit = 1u << CAP_DAC_OVERRIDE;
    data[0].effective = on ? (data[0].effective | bit) : (data[0].effective & ~bit);
    return capabilities(data, true);
}

} // namespace

ReadOnlyFolder::ReadOnlyFolder(std::string path) : path_(std::move(path))
{
    struct stat info;
    if (stat(path_.c_str(), &info) != 0)
        return;
    mode_ = info.st_mode & 07777;
    chmodded_ = chmod(path_.c_str(), mode_ & ~0222u) == 0;
    if (geteuid() == 0)
        capabilityDropped_ = setDacOverride(false);
    const std::string probe = path_ + "/.read-only-probe";
    const int fd = open(probe.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0600);
    if (fd >= 0) {
        close(fd);
        unlink(probe.c_str());
    } else {
        active_ = errno == EACCES || errno == EROFS || errno == EPERM;
    }
}

ReadOnlyFolder::~ReadOnlyFolder()
{
    if (capabilityDropped_)
        setDacOverride(true);
    if (chmodded_)
        chmod(path_.c_str(), mode_);
}
