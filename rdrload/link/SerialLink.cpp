#include "SerialLink.h"

#include "LinkServices.h"
#include "LinkTrace.h"
#include "PortLock.h"
#include "api/rdrload.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace rdrload {

namespace {

// What lastError() says for a handle that is not an open line.
constexpr int kErrorInvalidHandle = 6;

SerialChannel *lineOf(PortHandle handle)
{
    return isOpenPort(handle) ? handle : nullptr;
}

bool getControl(PortHandle handle, LineControl &control)
{
    SerialChannel *line = lineOf(handle);
    return line != nullptr && line->getControl(control);
}

bool setControl(PortHandle handle, const LineControl &control)
{
    SerialChannel *line = lineOf(handle);
    return line != nullptr && line->setControl(control);
}

bool getTimeouts(PortHandle handle, PortTimeouts &timeouts)
{
    SerialChannel *line = lineOf(handle);
    return line != nullptr && line->getTimeouts(timeouts);
}

bool setTimeouts(PortHandle handle, const PortTimeouts &timeouts)
{
    SerialChannel *line = lineOf(handle);
    return line != nullptr && line->setTimeouts(timeouts);
}

// The library's line format, on a record that starts from all zeros.
LineControl libraryLineFormat(uint32_t baudRate)
{
    LineControl format;
    format.length = kLineControlSize;
    format.baudRate = baudRate;
    format.byteSize = 8;
    format.parity = kNoParity;
    format.stopBits = kOneStopBit;
    format.binary = true;
    format.dtrControl = kDtrEnable;
    format.rtsControl = kRtsEnable;
    return format;
}

// Reads of n bytes return when n bytes have arrived or after n + ms.
void setReadDeadline(PortTimeouts &timeouts, uint32_t milliseconds)
{
    timeouts.readInterval = kMaxDword;
    timeouts.readMultiplier = 1;
    timeouts.readConstant = milliseconds;
}

// Closes the line; when that fails, the system's text for the error, to be
// shown once the port lock is released.
std::optional<std::string> closeLine(std::unique_ptr<SerialChannel> line)
{
    if (line->close())
        return std::nullopt;
    return linkServices().serial->errorText(line->lastError());
}

} // namespace

PortHandle invalidPortHandle()
{
    return reinterpret_cast<PortHandle>(~std::uintptr_t{0});
}

bool isOpenPort(PortHandle handle)
{
    return handle != nullptr && handle != invalidPortHandle();
}

HostPortHandle HandOverPort(PortHandle *handle)
{
    if (handle == nullptr || !isOpenPort(*handle))
        return nullptr;
    std::unique_ptr<SerialChannel> line(*handle);
    *handle = invalidPortHandle();
    return line->handOver();
}

BorrowedPort::BorrowedPort(HostPortHandle platformHandle)
    : line_(linkServices().serial->borrow(platformHandle).release())
{
}

BorrowedPort::~BorrowedPort()
{
    // The line never closes a borrowed handle: deleting it leaves the port open.
    delete line_;
}

int OpenPort(int port, PortHandle *handle, uint32_t baudRate)
{
    PortLock::create();
    if (port < 1 || port > 256)
        return OPEN_COM_PORT;
    traceFormat(" - OpenPort %d Start", port);
    traceText(" - R");
    const LinkServices &services = linkServices();
    std::unique_ptr<SerialChannel> line;
    for (int attempt = 0; attempt < kOpenAttempts && !line; ++attempt) {
        line = services.serial->open(port);
        if (!line)
            services.clock->sleep(kOpenRetryMs);
    }
    if (!line) {
        *handle = invalidPortHandle();
        return OPEN_COM_PORT;
    }
    // From here the caller's variable owns the line until ClosePort.
    *handle = line.release();
    PurgePort(*handle, kPurgeAll);
    return ConfigureSerialPort(*handle, baudRate);
}

int ConfigureSerialPort(PortHandle &handle, uint32_t baudRate)
{
    LineControl current;
    if (!getControl(handle, current)) {
        ClosePort(&handle);
        traceText(" - ConfigureSerialPort ClosePort 1\n");
        return OPEN_COM_PORT;
    }
    if (!setControl(handle, libraryLineFormat(baudRate))) {
        ClosePort(&handle);
        traceText(" - ConfigureSerialPort ClosePort 2\n");
        return OPEN_COM_PORT;
    }
    return 0;
}

int ChangeBaudRate(PortHandle &handle, uint32_t baudRate)
{
    LineControl control;
    bool changed = getControl(handle, control);
    if (changed) {
        control.baudRate = baudRate;
        changed = setControl(handle, control);
    }
    if (!changed) {
        ClosePort(&handle);
        traceText(" - ChangeBaudRate ClosePort \n");
        return OPEN_COM_PORT;
    }
    return 0;
}

int SetReadTimeout(PortHandle &handle, uint32_t milliseconds)
{
    PortTimeouts timeouts;
    if (!getTimeouts(handle, timeouts)) {
        ClosePort(&handle);
        traceText(" - SetReadTimeout ClosePort \n");
        return COM_ERROR;
    }
    if (timeouts.readConstant == milliseconds)
        return 0;
    setReadDeadline(timeouts, milliseconds);
    if (!setTimeouts(handle, timeouts)) {
        ClosePort(&handle);
        traceText(" - SetReadTimeout ClosePort \n");
        return COM_ERROR;
    }
    return 0;
}

void ClosePort(PortHandle *handle)
{
    std::optional<std::string> failure;
    {
        std::lock_guard<std::mutex> guard(PortLock::mutex());
        if (handle == nullptr || !isOpenPort(*handle))
            traceText("CloseHandle NULL !!\n");
        else
            failure = closeLine(std::unique_ptr<SerialChannel>(*handle));
        if (handle != nullptr)
            *handle = invalidPortHandle();
    }
    // Outside the lock: a message box waits for the user, and every other
    // thread's close would wait with it.
    if (failure) {
        linkServices().notice->closeFailed(*failure);
        traceText("Error CloseHandle\n");
    }
    // A USB-serial reader needs a moment before its port is opened again.
    SleepMs(kClosePauseMs);
}

int CheckACK(PortHandle *handle, uint32_t milliseconds)
{
    traceText("CheckACK Start\n");
    PortTimeouts timeouts;
    if (!getTimeouts(*handle, timeouts)) {
        ClosePort(handle);
        traceText("CheckACK ClosePort 1\n");
        return COM_ERROR;
    }
    if (timeouts.readConstant != milliseconds) {
        setReadDeadline(timeouts, milliseconds);
        if (!setTimeouts(*handle, timeouts)) {
            ClosePort(handle);
            traceText("CheckACK ClosePort 2\n");
            return COM_ERROR;
        }
    }
    uint8_t byte = 0;
    std::size_t received = 0;
    if (!ReadPort(*handle, &byte, 1, &received)) {
        if (PortLastError(*handle) == 0)
            traceText("CheckACK nothing read on port \n");
        ClosePort(handle);
        traceText("CheckACK ClosePort 3\n");
        return TIMEOUT_ERROR;
    }
    if (received == 0) {
        if (SerialChannel *line = lineOf(*handle); line && line->readPending())
            traceText("CheckACK I/O PENDING ?\n");
        ClosePort(handle);
        traceText("CheckACK ClosePort 4\n");
        return TIMEOUT_ERROR;
    }
    if (byte == kAck)
        return 0;
    ClosePort(handle);
    traceText("CheckACK ClosePort 5\n");
    if (byte == kNak) {
        traceText("CheckACK NACK received\n");
        return NACK_ERROR;
    }
    traceText("CheckACK Unknown received\n");
    return OTHER_ERROR;
}

int Acknowledge(PortHandle *handle)
{
    const uint8_t ack = kAck;
    std::size_t written = 0;
    if (!WritePort(*handle, &ack, 1, &written) || written != 1) {
        ClosePort(handle);
        traceText("Acknowledge ClosePort \n");
        return WRITE_ERROR;
    }
    return 0;
}

void SendDoubleBreak(PortHandle handle)
{
    SerialChannel *line = lineOf(handle);
    // The platform calls' results do not matter: a reader that missed the
    // break simply does not answer, which CheckACK reports.
    auto setBreak = [line] {
        if (line != nullptr)
            line->setBreak();
    };
    auto clearBreak = [line] {
        if (line != nullptr)
            line->clearBreak();
    };
    setBreak();
    SleepMs(5);
    clearBreak();
    SleepMs(100);
    setBreak();
    SleepMs(5);
    clearBreak();
}

bool SetDTR(int level, PortHandle handle)
{
    LineControl control;
    getControl(handle, control);
    control.dtrControl = level != 0 ? kDtrEnable : kDtrDisable;
    return setControl(handle, control);
}

bool SetRTS(int level, PortHandle handle)
{
    LineControl control;
    getControl(handle, control);
    control.rtsControl = level != 0 ? kRtsEnable : kRtsDisable;
    return setControl(handle, control);
}

bool WritePort(PortHandle handle, const void *data, std::size_t count, std::size_t *written)
{
    std::size_t done = 0;
    SerialChannel *line = lineOf(handle);
    bool ok = line != nullptr && line->write(data, count, done);
    if (written != nullptr)
        *written = done;
    return ok;
}

bool ReadPort(PortHandle handle, void *buffer, std::size_t count, std::size_t *received)
{
    std::size_t got = 0;
    SerialChannel *line = lineOf(handle);
    bool ok = line != nullptr && line->read(buffer, count, got);
    if (received != nullptr)
        *received = got;
    return ok;
}

bool PurgePort(PortHandle handle, unsigned actions)
{
    SerialChannel *line = lineOf(handle);
    return line != nullptr && line->purge(actions);
}

int PortLastError(PortHandle handle)
{
    SerialChannel *line = lineOf(handle);
    return line != nullptr ? line->lastError() : kErrorInvalidHandle;
}

void SleepMs(uint32_t milliseconds)
{
    linkServices().clock->sleep(milliseconds);
}

} // namespace rdrload
