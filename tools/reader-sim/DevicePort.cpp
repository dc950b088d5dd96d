#include "DevicePort.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

namespace readersim {

DevicePort::DevicePort(const std::string &device, const std::string &hostNode) : devicePath_(device)
{
    device_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios tio{};
    if (device_ < 0 || ::tcgetattr(device_, &tio) != 0)
        throw std::runtime_error("cannot open " + device + ": " + std::strerror(errno));
    // A gadget's tty starts in line mode with echo.
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B57600);
    ::cfsetospeed(&tio, B57600);
    tio.c_cflag |= CLOCAL | CREAD;
    if (::tcsetattr(device_, TCSANOW, &tio) != 0)
        throw std::runtime_error("cannot make " + device + " raw: " + std::strerror(errno));
    ::tcflush(device_, TCIOFLUSH);
    watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ < 0 || ::inotify_add_watch(watch_, hostNode.c_str(), IN_OPEN | IN_CLOSE) < 0)
        throw std::runtime_error("cannot watch " + hostNode + ": " + std::strerror(errno));
}

DevicePort::~DevicePort()
{
    for (int fd : {watch_, device_}) {
        if (fd >= 0)
            ::close(fd);
    }
}

void DevicePort::takeHostEvents()
{
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        ssize_t n = ::read(watch_, buffer, sizeof buffer);
        if (n <= 0)
            return;
        for (ssize_t at = 0; at < n;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            if (event->mask & IN_OPEN)
                ++hostOpens_;
            if ((event->mask & IN_CLOSE) && hostOpens_ > 0)
                --hostOpens_;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

DevicePort::Readiness DevicePort::wait(int timeoutMs)
{
    Readiness readiness;
    pollfd waiters[2] = {{device_, POLLIN, 0}, {watch_, POLLIN, 0}};
    int ready = ::poll(waiters, 2, timeoutMs);
    if (ready < 0) {
        readiness.interrupted = errno == EINTR;
        readiness.hostPresent = hostOpens_ > 0;
        return readiness;
    }
    if (waiters[1].revents)
        takeHostEvents();
    readiness.hostPresent = hostOpens_ > 0;
    readiness.readable = (waiters[0].revents & POLLIN) != 0;
    return readiness;
}

Bytes DevicePort::readAvailable()
{
    Bytes bytes(4096);
    ssize_t got = ::read(device_, bytes.data(), bytes.size());
    bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return bytes;
}

bool DevicePort::writeAll(const Bytes &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t put = ::write(device_, bytes.data() + done, bytes.size() - done);
        if (put > 0) {
            done += static_cast<std::size_t>(put);
            continue;
        }
        if (put < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        pollfd waiter{device_, POLLOUT, 0};
        if (::poll(&waiter, 1, 3000) == 0)
            return false; // the host takes nothing
    }
    return true;
}

} // namespace readersim
