#include "PtyPort.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

namespace readersim {

PtyPort::PtyPort()
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
        throw std::runtime_error("cannot create a pseudo-terminal");
    const char *name = ::ptsname(master_);
    if (name == nullptr)
        throw std::runtime_error("cannot name the pseudo-terminal");
    slavePath_ = name;
    // A slave that was never opened does not show as hung up; opening and
    // closing it once makes the host's absence visible from the start.
    int slave = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave >= 0)
        ::close(slave);
}

PtyPort::~PtyPort()
{
    if (master_ >= 0)
        ::close(master_);
}

PtyPort::Readiness PtyPort::wait(int timeoutMs)
{
    Readiness readiness;
    pollfd waiter{master_, POLLIN, 0};
    int ready = ::poll(&waiter, 1, timeoutMs);
    if (ready < 0) {
        readiness.interrupted = errno == EINTR;
        readiness.hostPresent = true; // unknown: keep the previous state
        return readiness;
    }
    readiness.hostPresent = (waiter.revents & POLLHUP) == 0;
    // Bytes the host wrote just before it closed stay readable after the hang-up.
    readiness.readable = (waiter.revents & POLLIN) != 0;
    return readiness;
}

Bytes PtyPort::readAvailable()
{
    Bytes bytes(4096);
    ssize_t got = ::read(master_, bytes.data(), bytes.size());
    bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return bytes;
}

bool PtyPort::writeAll(const Bytes &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t put = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

} // namespace readersim
