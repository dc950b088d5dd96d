#pragma once
// Makes a folder read-only for the calling thread while it lives, as a
// read-only mount would: its write permissions are taken away and, when the
// process runs as root, the thread also gives up the capability that lets
// root write anyway. Both are given back on destruction.

#include <string>

class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(std::string path);
    ~ReadOnlyFolder();
    ReadOnlyFolder(const ReadOnlyFolder &) = delete;
    ReadOnlyFolder &operator=(const ReadOnlyFolder &) = delete;

    // True when creating a file in the folder fails now.
    bool active() const { return active_; }

private:
    std::string path_;
    unsigned mode_ = 0;
    bool chmodded_ = false;
    bool capabilityDropped_ = false;
    bool active_ = false;
};
