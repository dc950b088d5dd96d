#include "FakeSerialLine.h"

#include "FakePort.h"
#include "FakeSerialSystem.h"

#include <cerrno>

namespace rdrload::testing {

FakeSerialLine::FakeSerialLine(FakePort *port, FakeSerialSystem &system)
    : port_(port), system_(system), closed_(port == nullptr)
{
}

bool FakeSerialLine::closedCall()
{
    lastError_ = EBADF;
    return false;
}

bool FakeSerialLine::result(bool ok, int error)
{
    lastError_ = ok ? 0 : error;
    return ok;
}

bool FakeSerialLine::getControl(LineControl &control)
{
    if (closed_)
        return closedCall();
    int error = 0;
    return result(port_->getControl(control, error), error);
}

bool FakeSerialLine::setControl(const LineControl &control)
{
    if (closed_)
        return closedCall();
    int error = 0;
    return result(port_->setControl(control, error), error);
}

bool FakeSerialLine::getTimeouts(PortTimeouts &timeouts)
{
    if (closed_)
        return closedCall();
    int error = 0;
    return result(port_->getTimeouts(timeouts, error), error);
}

bool FakeSerialLine::setTimeouts(const PortTimeouts &timeouts)
{
    if (closed_)
        return closedCall();
    int error = 0;
    return result(port_->setTimeouts(timeouts, error), error);
}

bool FakeSerialLine::purge(unsigned actions)
{
    if (closed_)
        return closedCall();
    int error = 0;
    return result(port_->purge(actions, error), error);
}

bool FakeSerialLine::read(void *buffer, std::size_t count, std::size_t &received)
{
    received = 0;
    if (closed_)
        return closedCall();
    int error = 0;
    bool ok = port_->read(buffer, count, received, error);
    lastError_ = error; // a read without bytes may leave an error code
    return ok;
}

bool FakeSerialLine::write(const void *data, std::size_t count, std::size_t &written)
{
    written = 0;
    if (closed_)
        return closedCall();
    int error = 0;
    return result(port_->write(data, count, written, error), error);
}

bool FakeSerialLine::setBreak()
{
    if (closed_)
        return closedCall();
    int error = 0;
    return result(port_->setBreak(true, error), error);
}

bool FakeSerialLine::clearBreak()
{
    if (closed_)
        return closedCall();
    int error = 0;
    return result(port_->setBreak(false, error), error);
}

bool FakeSerialLine::close()
{
    if (closed_)
        return closedCall();
    closed_ = true;
    system_.enterClose();
    int error = 0;
    bool ok = port_->close(error);
    system_.leaveClose();
    return result(ok, error);
}

void *FakeSerialLine::handOver()
{
    if (closed_)
        return nullptr;
    closed_ = true;
    return FakeSerialSystem::platformHandle(port_->number());
}

} // namespace rdrload::testing
