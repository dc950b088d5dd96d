#pragma once
// The simulated terminal's end of a pseudo-terminal: the host opens the slave
// path as its serial port, the simulator reads and writes the master. The
// simulator keeps the slave open itself so the line stays up (and raw)
// between host connections; host opens and closes are reported through
// inotify.
//
// Or the terminal's end of a real serial line: a device such as a USB
// gadget's /dev/ttyGS0, whose other end the host opens as /dev/ttyACM0. The
// device is opened raw and read and written as the master would be; the
// host's opens and closes are not seen there.

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

class PtyLink {
public:
    PtyLink() = default;
    ~PtyLink();
    PtyLink(const PtyLink &) = delete;
    PtyLink &operator=(const PtyLink &) = delete;

    // Creates the pty with its slave in raw mode. False with a reason.
    bool open(std::string &error);
    // Opens the serial device at path in raw mode instead. False with a reason.
    bool openDevice(const std::string &path, std::string &error);
    const std::string &slavePath() const { return slavePath_; }

    int masterFd() const { return master_; }
    int watchFd() const { return watch_; }

    // Bytes the host sent; 0 when none are waiting, -1 when the line failed.
    ssize_t readSome(uint8_t *buffer, size_t capacity);
    // Writes all of data within timeoutMs; false if that was not possible.
    bool writeAll(const uint8_t *data, size_t size, int timeoutMs);

    // Host opens and closes of the slave since the last call.
    void takePortEvents(int &opens, int &closes);

    // Drops the line as an unplugged device would: the host's next read or
    // write fails. On a device: closes it.
    void hangUp();

private:
    int master_ = -1;
    int slave_ = -1;
    int watch_ = -1;
    std::string slavePath_;
};
