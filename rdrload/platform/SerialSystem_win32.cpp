// The serial service on Windows: COM ports opened as "\\.\COM<n>" and driven
// with the communications calls on a synchronous handle.

#include "PlatformServices.h"
#include "link/LineSettings.h"
#include "link/SerialChannel.h"
#include "link/SerialSystem.h"

#include <cstdio>
#include <memory>
#include <string>
#include <windows.h>

namespace rdrload {

namespace {

DCB toDcb(const LineControl &control)
{
    DCB dcb;
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = control.baudRate;
    dcb.fBinary = control.binary;
    dcb.fParity = control.parityCheck;
    dcb.fOutxCtsFlow = control.outxCtsFlow;
    dcb.fOutxDsrFlow = control.outxDsrFlow;
    dcb.fDtrControl = control.dtrControl;
    dcb.fDsrSensitivity = control.dsrSensitivity;
    dcb.fTXContinueOnXoff = control.txContinueOnXoff;
    dcb.fOutX = control.outX;
    dcb.fInX = control.inX;
    dcb.fErrorChar = control.errorCharReplace;
    dcb.fNull = control.discardNull;
    dcb.fRtsControl = control.rtsControl;
    dcb.fAbortOnError = control.abortOnError;
    dcb.XonLim = control.xonLimit;
    dcb.XoffLim = control.xoffLimit;
    dcb.ByteSize = control.byteSize;
    dcb.Parity = control.parity;
    dcb.StopBits = control.stopBits;
    dcb.XonChar = control.xonChar;
    dcb.XoffChar = control.xoffChar;
    dcb.ErrorChar = control.errorChar;
    dcb.EofChar = control.eofChar;
    dcb.EvtChar = control.eventChar;
    return dcb;
}

LineControl fromDcb(const DCB &dcb)
{
    LineControl control;
    control.length = dcb.DCBlength;
    control.baudRate = dcb.BaudRate;
    control.binary = dcb.fBinary;
    control.parityCheck = dcb.fParity;
    control.outxCtsFlow = dcb.fOutxCtsFlow;
    control.outxDsrFlow = dcb.fOutxDsrFlow;
    control.dtrControl = static_cast<uint8_t>(dcb.fDtrControl);
    control.dsrSensitivity = dcb.fDsrSensitivity;
    control.txContinueOnXoff = dcb.fTXContinueOnXoff;
    control.outX = dcb.fOutX;
    control.inX = dcb.fInX;
    control.errorCharReplace = dcb.fErrorChar;
    control.discardNull = dcb.fNull;
    control.rtsControl = static_cast<uint8_t>(dcb.fRtsControl);
    control.abortOnError = dcb.fAbortOnError;
    control.xonLimit = dcb.XonLim;
    control.xoffLimit = dcb.XoffLim;
    control.byteSize = dcb.ByteSize;
    control.parity = dcb.Parity;
    control.stopBits = dcb.StopBits;
    control.xonChar = dcb.XonChar;
    control.xoffChar = dcb.XoffChar;
    control.errorChar = dcb.ErrorChar;
    control.eofChar = dcb.EofChar;
    control.eventChar = dcb.EvtChar;
    return control;
}

static_assert(sizeof(DCB) == kLineControlSize, "the device-control record is 28 bytes");

// A read or write of more than a DWORD can count is cut to what it can.
DWORD dwordCount(std::size_t count)
{
    return count > MAXDWORD ? MAXDWORD : static_cast<DWORD>(count);
}

class Win32SerialChannel : public SerialChannel {
public:
    // `owned`: whether the line closes the handle; a borrowed one is left
    // open.
    Win32SerialChannel(HANDLE handle, bool owned) : handle_(handle), owned_(owned) {}
    ~Win32SerialChannel() override
    {
        if (owned_ && handle_ != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle_);
    }
    Win32SerialChannel(const Win32SerialChannel &) = delete;
    Win32SerialChannel &operator=(const Win32SerialChannel &) = delete;

    bool getControl(LineControl &control) override;
    bool setControl(const LineControl &control) override;
    bool getTimeouts(PortTimeouts &timeouts) override;
    bool setTimeouts(const PortTimeouts &timeouts) override;
    bool purge(unsigned actions) override { return result(::PurgeComm(handle_, actions)); }
    bool read(void *buffer, std::size_t count, std::size_t &received) override;
    bool write(const void *data, std::size_t count, std::size_t &written) override;
    bool setBreak() override { return result(::SetCommBreak(handle_)); }
    bool clearBreak() override { return result(::ClearCommBreak(handle_)); }
    bool close() override;
    void *handOver() override;
    int lastError() const override { return static_cast<int>(lastError_); }
    bool readPending() const override { return lastError_ == ERROR_IO_PENDING; }

private:
    // Keeps the error of a failing call for lastError(); 0 after a success.
    bool result(BOOL ok)
    {
        lastError_ = ok ? 0 : ::GetLastError();
        return ok != FALSE;
    }

    HANDLE handle_;
    bool owned_;
    DWORD lastError_ = 0;
};

bool Win32SerialChannel::getControl(LineControl &control)
{
    DCB dcb;
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!result(::GetCommState(handle_, &dcb)))
        return false;
    control = fromDcb(dcb);
    return true;
}

bool Win32SerialChannel::setControl(const LineControl &control)
{
    DCB dcb = toDcb(control);
    return result(::SetCommState(handle_, &dcb));
}

bool Win32SerialChannel::getTimeouts(PortTimeouts &timeouts)
{
    COMMTIMEOUTS system;
    ZeroMemory(&system, sizeof system);
    if (!result(::GetCommTimeouts(handle_, &system)))
        return false;
    timeouts.readInterval = system.ReadIntervalTimeout;
    timeouts.readMultiplier = system.ReadTotalTimeoutMultiplier;
    timeouts.readConstant = system.ReadTotalTimeoutConstant;
    timeouts.writeMultiplier = system.WriteTotalTimeoutMultiplier;
    timeouts.writeConstant = system.WriteTotalTimeoutConstant;
    return true;
}

bool Win32SerialChannel::setTimeouts(const PortTimeouts &timeouts)
{
    COMMTIMEOUTS system;
    system.ReadIntervalTimeout = timeouts.readInterval;
    system.ReadTotalTimeoutMultiplier = timeouts.readMultiplier;
    system.ReadTotalTimeoutConstant = timeouts.readConstant;
    system.WriteTotalTimeoutMultiplier = timeouts.writeMultiplier;
    system.WriteTotalTimeoutConstant = timeouts.writeConstant;
    return result(::SetCommTimeouts(handle_, &system));
}

bool Win32SerialChannel::read(void *buffer, std::size_t count, std::size_t &received)
{
    DWORD got = 0;
    const bool ok = result(::ReadFile(handle_, buffer, dwordCount(count), &got, nullptr));
    received = got;
    return ok;
}

bool Win32SerialChannel::write(const void *data, std::size_t count, std::size_t &written)
{
    DWORD put = 0;
    const bool ok = result(::WriteFile(handle_, data, dwordCount(count), &put, nullptr));
    written = put;
    return ok;
}

bool Win32SerialChannel::close()
{
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return result(::CloseHandle(handle));
}

void *Win32SerialChannel::handOver()
{
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    owned_ = false;
    return handle;
}

class Win32SerialSystem : public SerialSystem {
public:
    std::unique_ptr<SerialChannel> open(int number) override;
    std::unique_ptr<SerialChannel> borrow(void *platformHandle) override;
    std::string errorText(int error) override;
};

std::unique_ptr<SerialChannel> Win32SerialSystem::open(int number)
{
    // "\\.\COM<n>" reaches ports above 9 too.
    char name[32];
    std::snprintf(name, sizeof name, "\\\\.\\COM%d", number);
    // No sharing: the port is this caller's alone. No flags: synchronous
    // reads and writes.
    HANDLE handle =
        ::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    return std::make_unique<Win32SerialChannel>(handle, true);
}

std::unique_ptr<SerialChannel> Win32SerialSystem::borrow(void *platformHandle)
{
    // A handle that is no open port makes every communications call fail.
    return std::make_unique<Win32SerialChannel>(static_cast<HANDLE>(platformHandle), false);
}

std::string Win32SerialSystem::errorText(int error)
{
    char *text = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(error), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<char *>(&text), 0, nullptr);
    std::string message = length > 0 && text != nullptr ? std::string(text, length)
                                                        : "Error " + std::to_string(error);
    if (text != nullptr)
        ::LocalFree(text);
    return message;
}

} // namespace

std::unique_ptr<SerialSystem> createPlatformSerialSystem(const std::string &)
{
    return std::make_unique<Win32SerialSystem>();
}

std::string platformDeviceFolder()
{
    return std::string();
}

} // namespace rdrload
