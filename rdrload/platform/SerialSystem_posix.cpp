// The serial service on POSIX: termios lines opened by the COM-number rule.

#include "DevicePathRule.h"
#include "PlatformServices.h"
#include "link/ReadWaitPlan.h"
#include "link/SerialChannel.h"
#include "link/SerialSystem.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace rdrload {

namespace {

struct BaudSpeed {
    uint32_t rate;
    speed_t speed;
};

constexpr BaudSpeed kBaudSpeeds[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

bool speedForRate(uint32_t rate, speed_t &speed)
{
    for (const BaudSpeed &entry : kBaudSpeeds) {
        if (entry.rate == rate) {
            speed = entry.speed;
            return true;
        }
    }
    return false;
}

uint32_t rateForSpeed(speed_t speed)
{
    for (const BaudSpeed &entry : kBaudSpeeds) {
        if (entry.speed == speed)
            return entry.rate;
    }
    return 0;
}

// GNU and XSI strerror_r differ in their result; both fill or return a text.
[[maybe_unused]] const char *errorTextFrom(int result, const char *buffer)
{
    return result == 0 ? buffer : "Unknown error";
}
[[maybe_unused]] const char *errorTextFrom(const char *text, const char *)
{
    return text;
}

using SteadyTime = std::chrono::steady_clock::time_point;

// Milliseconds until `deadline`, rounded up so that a read never ends early.
int millisecondsUntil(SteadyTime deadline)
{
    auto left = deadline - std::chrono::steady_clock::now();
    if (left <= SteadyTime::duration::zero())
        return 0;
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > 1000000 ? 1000000 : static_cast<int>(ms);
}

// A file descriptor as the pointer-sized platform handle a host keeps, and
// back; a value no descriptor has becomes -1, on which every call fails.
void *handleOfDescriptor(int fd)
{
    return reinterpret_cast<void *>(static_cast<std::intptr_t>(fd));
}

int descriptorOfHandle(void *handle)
{
    const auto value = reinterpret_cast<std::intptr_t>(handle);
    return value >= 0 && value <= std::numeric_limits<int>::max() ? static_cast<int>(value) : -1;
}

class PosixSerialChannel : public SerialChannel {
public:
    // `owned`: whether the line closes the descriptor; a borrowed one is
    // left open.
    PosixSerialChannel(int fd, bool owned) : fd_(fd), owned_(owned) {}
    ~PosixSerialChannel() override
    {
        if (owned_ && fd_ >= 0)
            ::close(fd_);
    }
    PosixSerialChannel(const PosixSerialChannel &) = delete;
    PosixSerialChannel &operator=(const PosixSerialChannel &) = delete;

    bool getControl(LineControl &control) override;
    bool setControl(const LineControl &control) override;
    bool getTimeouts(PortTimeouts &timeouts) override;
    bool setTimeouts(const PortTimeouts &timeouts) override;
    bool purge(unsigned actions) override;
    bool read(void *buffer, std::size_t count, std::size_t &received) override;
    bool write(const void *data, std::size_t count, std::size_t &written) override;
    bool setBreak() override;
    bool clearBreak() override;
    bool close() override;
    void *handOver() override;
    int lastError() const override { return lastError_; }
    // A POSIX read is never left in progress.
    bool readPending() const override { return false; }

private:
    bool fail(int error)
    {
        lastError_ = error;
        return false;
    }
    bool succeed()
    {
        lastError_ = 0;
        return true;
    }
    bool setModemLine(int line, bool on);
    int readWaitBudget(const ReadWaitPlan &plan, SteadyTime deadline, SteadyTime lastByte,
                       std::size_t received) const;

    int fd_;
    bool owned_;
    // The record last written: termios has no place for several of its
    // fields, and a pty has no modem lines to read back.
    LineControl written_;
    // POSIX lines have no kernel timeouts: reads apply them with poll().
    PortTimeouts timeouts_;
    int lastError_ = 0;
};

bool PosixSerialChannel::getControl(LineControl &control)
{
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0)
        return fail(errno);
    LineControl c = written_;
    c.length = kLineControlSize;
    c.baudRate = rateForSpeed(::cfgetospeed(&tio));
    switch (tio.c_cflag & CSIZE) {
    case CS5:
        c.byteSize = 5;
        break;
    case CS6:
        c.byteSize = 6;
        break;
    case CS7:
        c.byteSize = 7;
        break;
    default:
        c.byteSize = 8;
        break;
    }
    if ((tio.c_cflag & PARENB) == 0)
        c.parity = kNoParity;
    else if (tio.c_cflag & CMSPAR)
        c.parity = (tio.c_cflag & PARODD) ? kMarkParity : kSpaceParity;
    else
        c.parity = (tio.c_cflag & PARODD) ? kOddParity : kEvenParity;
    c.stopBits = (tio.c_cflag & CSTOPB) ? kTwoStopBits : kOneStopBit;
    c.binary = true;
    c.parityCheck = (tio.c_iflag & INPCK) != 0;
    c.outxCtsFlow = (tio.c_cflag & CRTSCTS) != 0;
    c.outX = (tio.c_iflag & IXON) != 0;
    c.inX = (tio.c_iflag & IXOFF) != 0;
    c.xonChar = static_cast<char>(tio.c_cc[VSTART]);
    c.xoffChar = static_cast<char>(tio.c_cc[VSTOP]);
    int bits = 0;
    if (::ioctl(fd_, TIOCMGET, &bits) == 0) {
        c.dtrControl = (bits & TIOCM_DTR) ? kDtrEnable : kDtrDisable;
        if (c.rtsControl != kRtsHandshake)
            c.rtsControl = (bits & TIOCM_RTS) ? kRtsEnable : kRtsDisable;
    }
    control = c;
    return succeed();
}

bool PosixSerialChannel::setControl(const LineControl &control)
{
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0)
        return fail(errno);
    speed_t speed = B0;
    if (!speedForRate(control.baudRate, speed))
        return fail(EINVAL);
    // Raw 8-bit line: no echo, no signals, no CR/LF translation.
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD;
    switch (control.byteSize) {
    case 5:
        tio.c_cflag |= CS5;
        break;
    case 6:
        tio.c_cflag |= CS6;
        break;
    case 7:
        tio.c_cflag |= CS7;
        break;
    case 8:
        tio.c_cflag |= CS8;
        break;
    default:
        return fail(EINVAL);
    }
    switch (control.parity) {
    case kNoParity:
        break;
    case kOddParity:
        tio.c_cflag |= PARENB | PARODD;
        break;
    case kEvenParity:
        tio.c_cflag |= PARENB;
        break;
    case kMarkParity:
        tio.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case kSpaceParity:
        tio.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        return fail(EINVAL);
    }
    if (control.stopBits != kOneStopBit)
        tio.c_cflag |= CSTOPB;
    if (control.outxCtsFlow || control.rtsControl == kRtsHandshake)
        tio.c_cflag |= CRTSCTS;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    if (control.outX)
        tio.c_iflag |= IXON;
    if (control.inX)
        tio.c_iflag |= IXOFF;
    if (control.parityCheck)
        tio.c_iflag |= INPCK;
    if (control.xonChar != 0)
        tio.c_cc[VSTART] = static_cast<cc_t>(control.xonChar);
    if (control.xoffChar != 0)
        tio.c_cc[VSTOP] = static_cast<cc_t>(control.xoffChar);
    // Reads wait in poll(); read() itself returns what is there.
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0)
        return fail(errno);
    if (!setModemLine(TIOCM_DTR, control.dtrControl != kDtrDisable))
        return false;
    if (control.rtsControl != kRtsHandshake &&
        !setModemLine(TIOCM_RTS, control.rtsControl != kRtsDisable))
        return false;
    written_ = control;
    return succeed();
}

bool PosixSerialChannel::setModemLine(int line, bool on)
{
    if (::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &line) == 0)
        return true;
    // A pty has no modem lines; that is no reason to refuse the settings.
    if (errno == ENOTTY || errno == EINVAL)
        return true;
    return fail(errno);
}

bool PosixSerialChannel::getTimeouts(PortTimeouts &timeouts)
{
    if (fd_ < 0)
        return fail(EBADF);
    timeouts = timeouts_;
    return succeed();
}

bool PosixSerialChannel::setTimeouts(const PortTimeouts &timeouts)
{
    if (fd_ < 0)
        return fail(EBADF);
    timeouts_ = timeouts;
    return succeed();
}

bool PosixSerialChannel::purge(unsigned actions)
{
    const bool output = (actions & kPurgeTxClear) != 0;
    const bool input = (actions & kPurgeRxClear) != 0;
    if (!output && !input)
        return succeed();
    int queue = output && input ? TCIOFLUSH : (output ? TCOFLUSH : TCIFLUSH);
    if (::tcflush(fd_, queue) != 0)
        return fail(errno);
    return succeed();
}

int PosixSerialChannel::readWaitBudget(const ReadWaitPlan &plan, SteadyTime deadline,
                                       SteadyTime lastByte, std::size_t received) const
{
    if (plan.immediate)
        return 0;
    int budget = -1; // no limit
    if (plan.hasTotal)
        budget = millisecondsUntil(deadline);
    if (plan.hasInterval && received > 0) {
        int gap = millisecondsUntil(lastByte + std::chrono::milliseconds(plan.intervalMs));
        budget = budget < 0 ? gap : std::min(budget, gap);
    }
    return budget;
}

bool PosixSerialChannel::read(void *buffer, std::size_t count, std::size_t &received)
{
    received = 0;
    if (count == 0)
        return succeed();
    auto *out = static_cast<unsigned char *>(buffer);
    const ReadWaitPlan plan = ReadWaitPlan::forRead(timeouts_, count);
    const SteadyTime start = std::chrono::steady_clock::now();
    const SteadyTime deadline = start + std::chrono::milliseconds(plan.totalMs);
    SteadyTime lastByte = start;
    while (received < count) {
        const int budget = readWaitBudget(plan, deadline, lastByte, received);
        pollfd waiter{fd_, POLLIN, 0};
        int ready = ::poll(&waiter, 1, budget);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        if (ready == 0) {
            if (budget == 0)
                break; // the time is up and nothing more is there
            continue;
        }
        if (waiter.revents & POLLNVAL)
            return fail(EBADF);
        ssize_t got = ::read(fd_, out + received, count - received);
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return fail(errno);
        }
        if (got == 0) {
            // Readable with nothing to read: the other end has gone.
            if (waiter.revents & (POLLHUP | POLLERR))
                return fail(EIO);
            continue;
        }
        received += static_cast<std::size_t>(got);
        lastByte = std::chrono::steady_clock::now();
    }
    return succeed();
}

bool PosixSerialChannel::write(const void *data, std::size_t count, std::size_t &written)
{
    const auto *in = static_cast<const unsigned char *>(data);
    written = 0;
    while (written < count) {
        ssize_t put = ::write(fd_, in + written, count - written);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN) {
                pollfd waiter{fd_, POLLOUT, 0};
                ::poll(&waiter, 1, -1);
                continue;
            }
            return fail(errno);
        }
        written += static_cast<std::size_t>(put);
    }
    return succeed();
}

bool PosixSerialChannel::setBreak()
{
    if (::ioctl(fd_, TIOCSBRK) != 0)
        return fail(errno);
    return succeed();
}

bool PosixSerialChannel::clearBreak()
{
    if (::ioctl(fd_, TIOCCBRK) != 0)
        return fail(errno);
    return succeed();
}

bool PosixSerialChannel::close()
{
    if (fd_ < 0)
        return fail(EBADF);
    ::ioctl(fd_, TIOCNXCL);
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        return fail(errno);
    return succeed();
}

void *PosixSerialChannel::handOver()
{
    const int fd = fd_;
    fd_ = -1;
    owned_ = false;
    return handleOfDescriptor(fd);
}

bool entryExists(const std::string &path)
{
    // lstat: a link that dangles for a moment (reader re-plugged) still
    // names the port; the open attempts then wait for it.
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

class PosixSerialSystem : public SerialSystem {
public:
    explicit PosixSerialSystem(const std::string &folder) : rule_(folder, entryExists) {}

    std::unique_ptr<SerialChannel> open(int number) override;
    std::unique_ptr<SerialChannel> borrow(void *platformHandle) override;
    std::string errorText(int error) override;

private:
    DevicePathRule rule_;
};

std::unique_ptr<SerialChannel> PosixSerialSystem::open(int number)
{
    // The rule is applied on every attempt, so a reader whose link appears
    // while the attempts run is found.
    const std::string path = rule_.pathFor(number);
    // Never O_CREAT: a port that does not exist must not become a file.
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    // Descriptor 0 would read as the null handle that means "not open" to a
    // host keeping the port (SetLevel_DTR_RTS_).
    if (fd == 0) {
        const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 1);
        ::close(fd);
        if (moved < 0)
            return nullptr;
        fd = moved;
    }
    // flock keeps out every other user of this library, root included;
    // TIOCEXCL keeps out other unprivileged programs.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return nullptr;
    }
    ::ioctl(fd, TIOCEXCL);
    // O_NONBLOCK only kept open() from waiting for carrier; reads and
    // writes are synchronous.
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return std::make_unique<PosixSerialChannel>(fd, true);
}

std::unique_ptr<SerialChannel> PosixSerialSystem::borrow(void *platformHandle)
{
    return std::make_unique<PosixSerialChannel>(descriptorOfHandle(platformHandle), false);
}

std::string PosixSerialSystem::errorText(int error)
{
    char buffer[256] = {};
    return errorTextFrom(::strerror_r(error, buffer, sizeof buffer), buffer);
}

} // namespace

std::unique_ptr<SerialSystem> createPlatformSerialSystem(const std::string &deviceFolder)
{
    return std::make_unique<PosixSerialSystem>(deviceFolder);
}

std::string platformDeviceFolder()
{
    return "/dev";
}

} // namespace rdrload
