#pragma once

#include "SerialChannel.h"

#include <cstddef>
#include <cstdint>

namespace rdrload {

// The serial link layer every operation of the library talks through.
//
// A port handle is held in a variable of the calling operation: null before
// opening, the open line while open, invalidPortHandle() once closed or when
// opening failed. The handle variable owns the line until ClosePort. Every
// call below that reports a failure has closed the port first and left the
// variable invalid, so a later ClosePort on it only traces and pauses.
using PortHandle = SerialChannel *;

// All bits set: a handle that is closed or was never opened.
PortHandle invalidPortHandle();
// Whether the handle is an open line (neither null nor invalid).
bool isOpenPort(PortHandle handle);

// A port a host keeps open after the call, as the platform's own handle
// (see SerialSystem): the host owns it and closes it itself.
using HostPortHandle = void *;

// Gives the open port in *handle to the host: returns its platform handle
// and marks the variable invalid without closing anything, so no later
// ClosePort touches it. Null when *handle is not an open port.
HostPortHandle HandOverPort(PortHandle *handle);

// A port handle over a platform handle the host keeps, for as long as this
// object lives: the link calls use it like any port handle and nothing
// closes it. Not for ClosePort or the calls that close on failure.
class BorrowedPort {
public:
    explicit BorrowedPort(HostPortHandle platformHandle);
    BorrowedPort(const BorrowedPort &) = delete;
    BorrowedPort &operator=(const BorrowedPort &) = delete;
    ~BorrowedPort();

    PortHandle handle() const { return line_; }

private:
    PortHandle line_;
};

constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNak = 0x15;

constexpr int kOpenAttempts = 1000;
constexpr uint32_t kOpenRetryMs = 10;
constexpr uint32_t kClosePauseMs = 1000;

// Opens COM port `port` (1 to 256), purges it and sets the line format at
// `baudRate`. 1000 attempts 10 ms apart. Returns 0, or 1 on any failure.
int OpenPort(int port, PortHandle *handle, uint32_t baudRate);

// Writes the library's line format (8N1, binary, DTR and RTS enabled, no
// flow control) at `baudRate`. Returns 0, or 1 with the port closed.
int ConfigureSerialPort(PortHandle &handle, uint32_t baudRate);

// Changes only the baud rate. Returns 0, or 1 with the port closed.
int ChangeBaudRate(PortHandle &handle, uint32_t baudRate);

// Reads of n bytes then wait at most n + `milliseconds` ms. Nothing is
// written when the constant is unchanged. Returns 0, or 2 with the port closed.
int SetReadTimeout(PortHandle &handle, uint32_t milliseconds);

// Closes the port under the port lock, marks the variable invalid, then
// pauses one second (also when there was nothing to close).
void ClosePort(PortHandle *handle);

// Waits up to `milliseconds` (+1) for one byte. Returns 0 for ACK with the
// port still open; otherwise closes it and returns 2 (timeouts could not be
// read or set), 6 (nothing arrived), 8 (NAK) or 18 (any other byte).
int CheckACK(PortHandle *handle, uint32_t milliseconds);

// Sends one ACK. Returns 0, or 7 with the port closed.
int Acknowledge(PortHandle *handle);

// Break 5 ms, quiet 100 ms, break 5 ms: wakes a reader's download listener.
void SendDoubleBreak(PortHandle handle);

// Enable (level != 0) or disable one modem line, leaving the rest of the
// line settings as they are. Returns whether the settings were written.
bool SetDTR(int level, PortHandle handle);
bool SetRTS(int level, PortHandle handle);

// The plain calls operations make on an open port; false on an invalid
// handle. A read returns after the timeouts in force with what has arrived.
bool WritePort(PortHandle handle, const void *data, std::size_t count, std::size_t *written);
bool ReadPort(PortHandle handle, void *buffer, std::size_t count, std::size_t *received);
bool PurgePort(PortHandle handle, unsigned actions);
// Error code of the handle's last failing call (0 after a success).
int PortLastError(PortHandle handle);

// Every pause of the library: on the clock in use.
void SleepMs(uint32_t milliseconds);

} // namespace rdrload
