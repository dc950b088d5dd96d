// Serial line over a POSIX terminal device (termios), opened non-blocking so
// that every wait is a poll() against a deadline on the monotonic clock.

#include "SerialLine.h"
#include "SerialReadTimer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

struct BaudEntry {
    uint32_t rate;
    speed_t code;
};

constexpr BaudEntry kBaudTable[] = {
    {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
    {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
    {230400, B230400}, {460800, B460800}, {921600, B921600},
};

bool speedCode(uint32_t rate, speed_t &code)
{
    for (const BaudEntry &entry : kBaudTable) {
        if (entry.rate == rate) {
            code = entry.code;
            return true;
        }
    }
    return false;
}

uint32_t speedRate(speed_t code)
{
    for (const BaudEntry &entry : kBaudTable) {
        if (entry.code == code)
            return entry.rate;
    }
    return 0;
}

// Milliseconds left until deadline, rounded up so a poll never ends early.
int millisecondsUntil(Clock::time_point deadline)
{
    auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero())
        return 0;
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return int(std::min<long long>(ms, 1 << 30));
}

// Modem lines that the device has not got (a pty) are not an error.
bool setModemLine(int fd, int line, bool on)
{
    if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0)
        return true;
    return errno == ENOTTY || errno == EINVAL;
}

} // namespace

SerialLine::~SerialLine()
{
    if (isOpen())
        close();
}

bool SerialLine::open(const std::string &path)
{
    if (isOpen())
        close();
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        lastError_ = errno;
        return false;
    }
    // TIOCEXCL keeps other non-privileged programs out; flock also stops a
    // second owner that has the privilege to pass TIOCEXCL.
    ioctl(fd, TIOCEXCL);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        lastError_ = (errno == EWOULDBLOCK) ? EBUSY : errno;
        ::close(fd);
        return false;
    }
    handle_ = fd;
    lastError_ = 0;
    return true;
}

bool SerialLine::setupQueues(uint32_t, uint32_t)
{
    // The kernel sizes tty buffers itself; only an open line is required.
    if (!isOpen()) {
        lastError_ = EBADF;
        return false;
    }
    return true;
}

bool SerialLine::getSettings(SerialLineSettings &settings)
{
    termios tio{};
    if (!isOpen() || tcgetattr(int(handle_), &tio) != 0) {
        lastError_ = isOpen() ? errno : EBADF;
        return false;
    }
    settings.baudRate = speedRate(cfgetospeed(&tio));
    switch (tio.c_cflag & CSIZE) {
    case CS5:
        settings.byteSize = 5;
        break;
    case CS6:
        settings.byteSize = 6;
        break;
    case CS7:
        settings.byteSize = 7;
        break;
    default:
        settings.byteSize = 8;
        break;
    }
    settings.parity = (tio.c_cflag & PARENB) ? ((tio.c_cflag & PARODD) ? 1 : 2) : 0;
    settings.stopBits = (tio.c_cflag & CSTOPB) ? 2 : 0;
    settings.outxCtsFlow = (tio.c_cflag & CRTSCTS) != 0;
    settings.outxDsrFlow = false;
    settings.dsrSensitivity = false;
    int lines = 0;
    bool haveLines = ioctl(int(handle_), TIOCMGET, &lines) == 0;
    settings.dtrControl = haveLines ? ((lines & TIOCM_DTR) ? 1 : 0) : 1;
    settings.rtsControl = haveLines ? ((lines & TIOCM_RTS) ? 1 : 0) : 1;
    settings.outX = (tio.c_iflag & IXON) != 0;
    settings.inX = (tio.c_iflag & IXOFF) != 0;
    settings.abortOnError = false;
    return true;
}

bool SerialLine::setSettings(const SerialLineSettings &settings)
{
    if (!isOpen()) {
        lastError_ = EBADF;
        return false;
    }
    int fd = int(handle_);
    termios tio{};
    speed_t speed = B0;
    if (tcgetattr(fd, &tio) != 0) {
        lastError_ = errno;
        return false;
    }
    if (!speedCode(settings.baudRate, speed) || settings.byteSize < 5 || settings.byteSize > 8) {
        lastError_ = EINVAL;
        return false;
    }
    cfmakeraw(&tio); // binary: no echo, no line editing, no character translation
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag = (tio.c_cflag & ~CSIZE) | kSizes[settings.byteSize - 5];
    tio.c_cflag &= ~(PARENB | PARODD | CSTOPB | CRTSCTS);
    if (settings.parity != 0)
        tio.c_cflag |= PARENB | (settings.parity == 1 ? PARODD : 0);
    if (settings.stopBits == 2)
        tio.c_cflag |= CSTOPB;
    if (settings.outxCtsFlow)
        tio.c_cflag |= CRTSCTS;
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (settings.outX)
        tio.c_iflag |= IXON;
    if (settings.inX)
        tio.c_iflag |= IXOFF;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        lastError_ = errno;
        return false;
    }
    if (!setModemLine(fd, TIOCM_DTR, settings.dtrControl != 0) ||
        !setModemLine(fd, TIOCM_RTS, settings.rtsControl != 0)) {
        lastError_ = errno;
        return false;
    }
    return true;
}

bool SerialLine::purge()
{
    if (!isOpen() || tcflush(int(handle_), TCIOFLUSH) != 0) {
        lastError_ = isOpen() ? errno : EBADF;
        return false;
    }
    return true;
}

bool SerialLine::setTimeouts(const SerialLineTimeouts &timeouts)
{
    if (!isOpen()) {
        lastError_ = EBADF;
        return false;
    }
    timeouts_ = timeouts;
    return true;
}

bool SerialLine::write(const uint8_t *data, size_t size, size_t &accepted)
{
    accepted = 0;
    if (!isOpen()) {
        lastError_ = EBADF;
        return false;
    }
    int fd = int(handle_);
    uint64_t limit = uint64_t(timeouts_.writeTotalMultiplier) * size + timeouts_.writeTotalConstant;
    bool bounded = limit != 0;
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limit);
    while (accepted < size) {
        ssize_t n = ::write(fd, data + accepted, size - accepted);
        if (n > 0) {
            accepted += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            lastError_ = errno;
            return false;
        }
        int wait = bounded ? millisecondsUntil(deadline) : -1;
        if (wait == 0) {
            lastError_ = ETIMEDOUT;
            return true; // the time-out ends a write without failing it
        }
        pollfd pfd{fd, POLLOUT, 0};
        int ready = poll(&pfd, 1, wait);
        if (ready < 0 && errno != EINTR) {
            lastError_ = errno;
            return false;
        }
        if (ready > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) &&
            !(pfd.revents & POLLOUT)) {
            lastError_ = EIO;
            return false;
        }
    }
    return true;
}

bool SerialLine::read(uint8_t *buffer, size_t capacity, size_t &received, const SerialReadEnd &end)
{
    received = 0;
    if (!isOpen()) {
        lastError_ = EBADF;
        return false;
    }
    int fd = int(handle_);
    SerialReadTimer timer(timeouts_, capacity, end, Clock::now());
    while (!timer.full()) {
        // The tighter of the bounds that apply; none means wait for data.
        const long long wait = timer.waitMs(Clock::now());
        if (wait == 0)
            break;
        pollfd pfd{fd, POLLIN, 0};
        int ready = poll(&pfd, 1, wait < 0 ? -1 : int(std::min<long long>(wait, 1 << 30)));
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            lastError_ = errno;
            return false;
        }
        if (ready == 0)
            continue; // a bound passed: the next turn sees it
        ssize_t n = ::read(fd, buffer + received, capacity - received);
        if (n > 0) {
            timer.received(buffer + received, size_t(n), Clock::now());
            received += size_t(n);
            continue;
        }
        bool retry = n < 0 && (errno == EAGAIN || errno == EINTR);
        if (retry && !(pfd.revents & (POLLHUP | POLLERR | POLLNVAL)))
            continue;
        // End of file on a terminal, or a poll that reports only an error
        // condition: the device has gone.
        lastError_ = (n < 0 && !retry) ? errno : EIO;
        received = 0;
        return false;
    }
    return true;
}

bool SerialLine::close()
{
    if (!isOpen())
        return true;
    int fd = int(handle_);
    handle_ = kInvalidHandle;
    if (::close(fd) != 0) {
        lastError_ = errno;
        return false;
    }
    return true;
}

std::string SerialLine::errorText(int code)
{
    return std::strerror(code);
}

SerialOpenProblem SerialLine::openProblemOf(int code)
{
    switch (code) {
    case 0:
        return SerialOpenProblem::None;
    case EBUSY: // TIOCEXCL or the flock of another owner
        return SerialOpenProblem::InUse;
    case EACCES:
    case EPERM:
        return SerialOpenProblem::NotAllowed;
    case ENOENT:
    case ENOTDIR:
    case ENXIO:
    case ENODEV:
        return SerialOpenProblem::Missing;
    default:
        return SerialOpenProblem::Other;
    }
}
