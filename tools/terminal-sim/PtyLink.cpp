#include "PtyLink.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

PtyLink::~PtyLink()
{
    hangUp();
}

bool PtyLink::open(std::string &error)
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) {
        error = std::string("ptsname: ") + std::strerror(errno);
        return false;
    }
    slavePath_ = name;
    // A fresh pty echoes and edits lines: make it raw before any host opens
    // it, and keep it open so the settings and the line outlive each host.
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (slave_ < 0 || tcgetattr(slave_, &tio) != 0) {
        error = std::string("cannot open ") + name + ": " + std::strerror(errno);
        return false;
    }
    cfmakeraw(&tio);
    cfsetispeed(&tio, B57600);
    cfsetospeed(&tio, B57600);
    tio.c_cflag |= CLOCAL | CREAD;
    if (tcsetattr(slave_, TCSANOW, &tio) != 0) {
        error = std::string("cannot make ") + name + " raw: " + std::strerror(errno);
        return false;
    }
    watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ >= 0 && inotify_add_watch(watch_, name, IN_OPEN | IN_CLOSE) < 0) {
        ::close(watch_);
        watch_ = -1; // the line works without the open and close notes
    }
    return true;
}

bool PtyLink::openDevice(const std::string &path, std::string &error)
{
    master_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios tio{};
    if (master_ < 0 || tcgetattr(master_, &tio) != 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    // A gadget's tty starts in line mode with echo: every byte the host sent
    // would go back to it.
    cfmakeraw(&tio);
    cfsetispeed(&tio, B57600);
    cfsetospeed(&tio, B57600);
    tio.c_cflag |= CLOCAL | CREAD;
    if (tcsetattr(master_, TCSANOW, &tio) != 0) {
        error = "cannot make " + path + " raw: " + std::strerror(errno);
        return false;
    }
    tcflush(master_, TCIOFLUSH);
    slavePath_ = path;
    return true;
}

ssize_t PtyLink::readSome(uint8_t *buffer, size_t capacity)
{
    ssize_t n = ::read(master_, buffer, capacity);
    if (n >= 0)
        return n;
    return (errno == EAGAIN || errno == EINTR) ? 0 : -1;
}

bool PtyLink::writeAll(const uint8_t *data, size_t size, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(master_, data + done, size - done);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd pfd{master_, POLLOUT, 0};
        poll(&pfd, 1, int(left.count()) + 1);
    }
    return true;
}

void PtyLink::takePortEvents(int &opens, int &closes)
{
    opens = closes = 0;
    if (watch_ < 0)
        return;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        ssize_t n = ::read(watch_, buffer, sizeof buffer);
        if (n <= 0)
            return;
        for (ssize_t pos = 0; pos < n;) {
            const inotify_event *event = reinterpret_cast<const inotify_event *>(buffer + pos);
            if (event->mask & IN_OPEN)
                ++opens;
            if (event->mask & IN_CLOSE)
                ++closes;
            pos += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
}

void PtyLink::hangUp()
{
    for (int *fd : {&watch_, &slave_, &master_}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}
