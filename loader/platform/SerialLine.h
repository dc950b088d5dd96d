#pragma once
// One serial line held open by its owner: the few operations a terminal port
// needs, shaped like the communications calls of the Windows serial driver so
// the port logic above reads the same on every platform. Each operation
// returns false on failure and leaves the platform's error number in
// lastError().

#include <cstddef>
#include <cstdint>
#include <string>

// The line settings a port changes; everything else stays as the driver has it.
struct SerialLineSettings {
    uint32_t baudRate = 0;
    uint8_t byteSize = 8;
    uint8_t parity = 0;   // 0 none, 1 odd, 2 even
    uint8_t stopBits = 0; // 0 one, 2 two
    bool outxCtsFlow = false;
    bool outxDsrFlow = false;
    bool dsrSensitivity = false;
    uint8_t dtrControl = 0; // 0 line off, 1 line on while open
    uint8_t rtsControl = 0; // 0 line off, 1 line on while open
    bool outX = false;      // XON/XOFF on output
    bool inX = false;       // XON/XOFF on input
    bool abortOnError = false;
};

// Read and write time-outs in milliseconds. Reads: the total bound is
// readTotalConstant + readTotalMultiplier x capacity, counted from the start
// of the read; the interval bound is the longest gap after a received byte.
// A value of 0 switches its bound off. Writes: the same for writeTotal*.
struct SerialLineTimeouts {
    uint32_t readInterval = 0;
    uint32_t readTotalMultiplier = 0;
    uint32_t readTotalConstant = 0;
    uint32_t writeTotalMultiplier = 0;
    uint32_t writeTotalConstant = 0;
};

// A sooner end of a read for an answer whose first byte is leadByte: once
// that byte has come, a quiet line for quietGap milliseconds ends the read in
// place of the inter-byte time-out (the total time-out still bounds it).
// quietGap 0: no sooner end.
struct SerialReadEnd {
    uint8_t leadByte = 0;
    uint32_t quietGap = 0;
};

// What a failed open tells of the device.
enum class SerialOpenProblem { None, InUse, NotAllowed, Missing, Other };

class SerialLine {
public:
    SerialLine() = default;
    ~SerialLine();
    SerialLine(const SerialLine &) = delete;
    SerialLine &operator=(const SerialLine &) = delete;

    // Opens an existing device for reading and writing, for this owner alone:
    // fails (as for a missing device) while another owner holds it.
    bool open(const std::string &path);
    bool isOpen() const { return handle_ != kInvalidHandle; }

    bool setupQueues(uint32_t inputSize, uint32_t outputSize);
    bool getSettings(SerialLineSettings &settings);
    bool setSettings(const SerialLineSettings &settings);
    // Discards whatever waits in both directions.
    bool purge();
    bool setTimeouts(const SerialLineTimeouts &timeouts);

    // Writes up to size bytes within the write time-out. True with
    // accepted < size when the time-out ended the write (lastError() then
    // holds the time-out code); false when the line failed.
    bool write(const uint8_t *data, size_t size, size_t &accepted);

    // One read of up to capacity bytes, ended by the read time-outs or the
    // sooner end (SerialReadTimer): true with whatever arrived (possibly
    // nothing), false when the line failed or the device went away.
    bool read(uint8_t *buffer, size_t capacity, size_t &received,
              const SerialReadEnd &end = SerialReadEnd());

    // Releases the line; true if the platform closed it cleanly. The line is
    // closed afterwards in either case.
    bool close();

    int lastError() const { return lastError_; }
    static std::string errorText(int code);
    // The kind of failure an error number of open() stands for.
    static SerialOpenProblem openProblemOf(int code);

private:
    static constexpr intptr_t kInvalidHandle = -1;

    intptr_t handle_ = kInvalidHandle; // file descriptor or platform handle
    SerialLineTimeouts timeouts_;
    int lastError_ = 0;
};
