#pragma once

#include "link/SerialLink.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace rdrload {

// Sends text boot records to a reader's boot loader over an open port.
//
// A boot record is one line of upper-case hexadecimal text without
// separators, terminator or checksum: the 32-bit address ("%08X"), the low
// 8 bits of (data length OR flags) ("%02X"), then every data byte ("%02X").
// The loader echoes every character and acknowledges a line that carries
// data with one byte, whose value does not matter. A line without data is a
// command executed at its address.
//
// Two ways to send a line:
//   bulk  the whole line in one write, then its echo read back (up to 21
//         reads, the bytes not compared), then the acknowledgement (up to 20
//         one-byte reads). A failure pauses 20 ms, 30 ms when the write or the
//         acknowledgement failed.
//   echo  character by character, each one's echo read (up to 20 one-byte
//         reads) and compared, then the acknowledgement. A failure pauses
//         10 ms.
// Every wait is the read timeout in force on the port. Nothing is traced or
// closed here: a failed line is only a false result.
class BootRecordLink {
public:
    explicit BootRecordLink(PortHandle &handle) : handle_(handle) {}

    static constexpr std::size_t kMaxRecordData = 30;
    static constexpr uint8_t kRegisterFlags = 0xC0;

    // The text of one record. `length` is at most kMaxRecordData.
    static std::string format(uint32_t address, const uint8_t *data, std::size_t length,
                              uint8_t flags);

    bool sendBulk(const std::string &line);
    bool sendEcho(const std::string &line);
    // One character as echo mode sends it: written alone, and `expected`
    // must come back within 20 reads. No pause on failure.
    bool exchangeCharacter(char sent, char expected);

private:
    static bool carriesData(const std::string &line) { return line.size() > kCommandLength; }
    static constexpr std::size_t kCommandLength = 10;

    bool readEcho(std::size_t count);
    bool readOneByte(uint8_t &byte);

    PortHandle &handle_;
};

} // namespace rdrload
