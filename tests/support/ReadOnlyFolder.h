#pragma once
// Makes a folder read-only for the calling thread while it lives, as a
// read-only mount would: its write permissions go and, when the process runs
// as root, the thread gives up the capability that lets root write anyway.

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <string>

class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(std::string path) : path_(std::move(path))
    {
        struct stat info;
        if (stat(path_.c_str(), &info) != 0)
            return;
        mode_ = info.st_mode & 07777;
        chmod(path_.c_str(), mode_ & ~0222u);
        dacOverride(false);
        const std::string probe = path_ + "/.probe";
        const int fd = open(probe.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0600);
        active_ = fd < 0;
        if (fd >= 0)
            close(fd), unlink(probe.c_str());
    }
    ~ReadOnlyFolder()
    {
        dacOverride(true);
        if (mode_)
            chmod(path_.c_str(), mode_);
    }
    // True when no file can be made in the folder now.
    bool active() const { return active_; }

private:
    static void dacOverride(bool on)
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0}; // this thread
        __user_cap_data_struct data[2] = {};
        if (geteuid() != 0 || syscall(SYS_capget, &header, data) != 0)
            return;
        const unsigned bit = 1u << CAP_DAC_OVERRIDE;
        data[0].effective = on ? (data[0].effective | bit) : (data[0].effective & ~bit);
        syscall(SYS_capset, &header, data);
    }

    std::string path_;
    unsigned mode_ = 0;
    bool active_ = false;
};
