// Serial line over the Windows communications API: a synchronous,
// non-overlapped handle whose time-outs the serial driver enforces itself.

#include "SerialLine.h"
#include "SerialReadTimer.h"

#include <windows.h>

#include <algorithm>

namespace {

HANDLE toHandle(intptr_t value)
{
    return reinterpret_cast<HANDLE>(value);
}

COMMTIMEOUTS driverTimeouts(const SerialLineTimeouts &timeouts)
{
    COMMTIMEOUTS values{};
    values.ReadIntervalTimeout = timeouts.readInterval;
    values.ReadTotalTimeoutMultiplier = timeouts.readTotalMultiplier;
    values.ReadTotalTimeoutConstant = timeouts.readTotalConstant;
    values.WriteTotalTimeoutMultiplier = timeouts.writeTotalMultiplier;
    values.WriteTotalTimeoutConstant = timeouts.writeTotalConstant;
    return values;
}

// One turn of a read that watches the line itself: waits up to wait
// milliseconds (-1: without bound) for one byte, with a read of one byte
// that only the total time-out ends, then takes whatever else has already
// arrived with a read that returns at once (interval MAXDWORD, total 0).
// got: the bytes taken, 0 when the wait passed in silence.
bool readTurn(HANDLE handle, const SerialLineTimeouts &callers, uint8_t *buffer, DWORD room,
              long long wait, DWORD &got)
{
    got = 0;
    COMMTIMEOUTS values = driverTimeouts(callers);
    values.ReadIntervalTimeout = 0;
    values.ReadTotalTimeoutMultiplier = 0;
    values.ReadTotalTimeoutConstant = wait < 0 ? 0 : DWORD(std::min<long long>(wait, MAXDWORD - 1));
    if (!SetCommTimeouts(handle, &values) || !ReadFile(handle, buffer, 1, &got, nullptr))
        return false;
    if (got == 0 || room == 1)
        return true;
    values.ReadIntervalTimeout = MAXDWORD;
    values.ReadTotalTimeoutConstant = 0;
    DWORD more = 0;
    if (!SetCommTimeouts(handle, &values) ||
        !ReadFile(handle, buffer + 1, room - 1, &more, nullptr))
        return false;
    got += more;
    return true;
}

} // namespace

SerialLine::~SerialLine()
{
    close();
}

bool SerialLine::open(const std::string &path)
{
    close();
    // No sharing: a second opener is refused with ERROR_ACCESS_DENIED.
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        lastError_ = int(GetLastError());
        return false;
    }
    handle_ = reinterpret_cast<intptr_t>(handle);
    lastError_ = 0;
    return true;
}

bool SerialLine::setupQueues(uint32_t inputSize, uint32_t outputSize)
{
    if (!SetupComm(toHandle(handle_), inputSize, outputSize)) {
        lastError_ = int(GetLastError());
        return false;
    }
    return true;
}

bool SerialLine::getSettings(SerialLineSettings &settings)
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(toHandle(handle_), &dcb)) {
        lastError_ = int(GetLastError());
        return false;
    }
    settings.baudRate = dcb.BaudRate;
    settings.byteSize = dcb.ByteSize;
    settings.parity = dcb.Parity;
    settings.stopBits = dcb.StopBits;
    settings.outxCtsFlow = dcb.fOutxCtsFlow;
    settings.outxDsrFlow = dcb.fOutxDsrFlow;
    settings.dsrSensitivity = dcb.fDsrSensitivity;
    settings.dtrControl = uint8_t(dcb.fDtrControl);
    settings.rtsControl = uint8_t(dcb.fRtsControl);
    settings.outX = dcb.fOutX;
    settings.inX = dcb.fInX;
    settings.abortOnError = dcb.fAbortOnError;
    return true;
}

// Reads the driver's record again so that every field the settings do not
// name (binary mode, XON/XOFF limits and characters...) stays as it was.
bool SerialLine::setSettings(const SerialLineSettings &settings)
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(toHandle(handle_), &dcb)) {
        lastError_ = int(GetLastError());
        return false;
    }
    dcb.BaudRate = settings.baudRate;
    dcb.ByteSize = settings.byteSize;
    dcb.Parity = settings.parity;
    dcb.StopBits = settings.stopBits;
    dcb.fOutxCtsFlow = settings.outxCtsFlow;
    dcb.fOutxDsrFlow = settings.outxDsrFlow;
    dcb.fDsrSensitivity = settings.dsrSensitivity;
    dcb.fDtrControl = settings.dtrControl;
    dcb.fRtsControl = settings.rtsControl;
    dcb.fOutX = settings.outX;
    dcb.fInX = settings.inX;
    dcb.fAbortOnError = settings.abortOnError;
    if (!SetCommState(toHandle(handle_), &dcb)) {
        lastError_ = int(GetLastError());
        return false;
    }
    return true;
}

bool SerialLine::purge()
{
    if (!PurgeComm(toHandle(handle_), PURGE_TXCLEAR | PURGE_RXCLEAR)) {
        lastError_ = int(GetLastError());
        return false;
    }
    return true;
}

bool SerialLine::setTimeouts(const SerialLineTimeouts &timeouts)
{
    COMMTIMEOUTS values = driverTimeouts(timeouts);
    if (!isOpen()) {
        lastError_ = ERROR_INVALID_HANDLE;
        return false;
    }
    if (!SetCommTimeouts(toHandle(handle_), &values)) {
        lastError_ = int(GetLastError());
        return false;
    }
    timeouts_ = timeouts;
    return true;
}

bool SerialLine::write(const uint8_t *data, size_t size, size_t &accepted)
{
    accepted = 0;
    if (!isOpen()) {
        lastError_ = ERROR_INVALID_HANDLE;
        return false;
    }
    DWORD written = 0;
    DWORD chunk = size > MAXDWORD ? MAXDWORD : DWORD(size);
    if (!WriteFile(toHandle(handle_), data, chunk, &written, nullptr)) {
        lastError_ = int(GetLastError());
        return false;
    }
    accepted = written;
    if (accepted < size)
        lastError_ = ERROR_TIMEOUT; // the driver ends a write at its time-out
    return true;
}

bool SerialLine::read(uint8_t *buffer, size_t capacity, size_t &received, const SerialReadEnd &end)
{
    received = 0;
    if (!isOpen()) {
        lastError_ = ERROR_INVALID_HANDLE;
        return false;
    }
    HANDLE handle = toHandle(handle_);
    DWORD wanted = capacity > MAXDWORD ? MAXDWORD : DWORD(capacity);
    if (end.quietGap == 0) {
        // One read; the driver ends it by the time-outs already set.
        DWORD got = 0;
        if (!ReadFile(handle, buffer, wanted, &got, nullptr)) {
            lastError_ = int(GetLastError());
            return false;
        }
        received = got;
        return true;
    }

    // With a sooner end the first byte decides which gap ends the answer, so
    // the read watches the line in turns (readTurn) and SerialReadTimer, as
    // on every platform, says how long each turn may wait. The caller's
    // time-outs are set again afterwards.
    SerialReadTimer timer(timeouts_, wanted, end, SerialReadTimer::Clock::now());
    bool ok = true;
    while (!timer.full()) {
        const long long wait = timer.waitMs(SerialReadTimer::Clock::now());
        if (wait == 0)
            break;
        DWORD got = 0;
        if (!readTurn(handle, timeouts_, buffer + received, wanted - DWORD(received), wait, got)) {
            lastError_ = int(GetLastError());
            ok = false;
            break;
        }
        timer.received(buffer + received, got, SerialReadTimer::Clock::now());
        received += got;
    }
    COMMTIMEOUTS callers = driverTimeouts(timeouts_);
    if (!SetCommTimeouts(handle, &callers) && ok) {
        lastError_ = int(GetLastError());
        ok = false;
    }
    if (!ok)
        received = 0;
    return ok;
}

bool SerialLine::close()
{
    if (!isOpen())
        return true;
    HANDLE handle = toHandle(handle_);
    handle_ = kInvalidHandle;
    if (!CloseHandle(handle)) {
        lastError_ = int(GetLastError());
        return false;
    }
    return true;
}

std::string SerialLine::errorText(int code)
{
    char *text = nullptr;
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, DWORD(code), 0, reinterpret_cast<char *>(&text), 0, nullptr);
    std::string result = (length && text) ? std::string(text, length) : std::string();
    if (text)
        LocalFree(text);
    while (!result.empty() && (result.back() == '\r' || result.back() == '\n'))
        result.pop_back();
    return result.empty() ? "error " + std::to_string(code) : result;
}

SerialOpenProblem SerialLine::openProblemOf(int code)
{
    switch (code) {
    case 0:
        return SerialOpenProblem::None;
    case ERROR_ACCESS_DENIED: // what a second opener of a COM port gets
    case ERROR_SHARING_VIOLATION:
        return SerialOpenProblem::InUse;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return SerialOpenProblem::Missing;
    default:
        return SerialOpenProblem::Other;
    }
}
