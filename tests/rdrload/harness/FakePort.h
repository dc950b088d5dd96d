#pragma once

#include "PortEvent.h"
#include "ReaderScript.h"
#include "VirtualClock.h"

#include <chrono>
#include <cstddef>
#include <deque>
#include <map>
#include <vector>

namespace rdrload::testing {

// Which call of a line a fault is injected into.
enum class PortCall {
    GetControl,
    SetControl,
    GetTimeouts,
    SetTimeouts,
    Purge,
    Read,
    Write,
    SetBreak,
    ClearBreak,
    Close
};

// The device behind one COM number of a FakeSerialSystem: it keeps its
// settings, its input queue and its history across openings, and lets a
// test script the reader, refuse openings and fail single calls. Reads take
// their time on the virtual clock: a read of n bytes ends when the n-th
// byte arrives or, by the timeouts in force, with what has arrived.
// One thread at a time per port.
class FakePort {
public:
    FakePort(int number, VirtualClock &clock);

    int number() const { return number_; }

    // --- the reader's side
    void setReader(ReaderScript *reader) { reader_ = reader; }
    // Bytes that arrive `delayMs` after now, after those already queued.
    void send(const Bytes &bytes, uint64_t delayMs = 0);
    void send(uint8_t byte, uint64_t delayMs = 0) { send(Bytes{byte}, delayMs); }

    // --- faults
    // The next `count` openings fail (-1: every one).
    void refuseOpens(int count) { refusedOpens_ = count; }
    // The next `times` calls of that kind fail with `error` (-1: every one).
    void failCall(PortCall call, int error = 5, int times = 1);
    // The next write takes only `bytes` bytes and reports success.
    void shortenNextWrite(std::size_t bytes) { shortWrite_ = static_cast<long>(bytes); }
    // A read that ends without bytes reports this error code (0 by default).
    void setEmptyReadError(int error) { emptyReadError_ = error; }
    // Real time a close takes, to widen the window of concurrency tests.
    void setCloseDuration(std::chrono::microseconds duration) { closeDuration_ = duration; }

    // --- what the host did
    bool isOpen() const { return open_; }
    int openAttempts() const { return openAttempts_; }
    int openings() const { return openings_; }
    const LineControl &control() const { return control_; }
    const PortTimeouts &timeouts() const { return timeouts_; }
    bool breakOn() const { return breakOn_; }
    const std::vector<PortEvent> &events() const { return events_; }
    int count(PortEvent::Kind kind) const;
    // Every byte the host wrote, in order.
    Bytes written() const;
    // Bytes queued but not read yet.
    std::size_t pendingInput() const { return input_.size(); }

    // --- used by FakeSerialSystem and FakeSerialLine
    bool tryOpen();
    bool getControl(LineControl &control, int &error);
    bool setControl(const LineControl &control, int &error);
    bool getTimeouts(PortTimeouts &timeouts, int &error);
    bool setTimeouts(const PortTimeouts &timeouts, int &error);
    bool purge(unsigned actions, int &error);
    bool read(void *buffer, std::size_t count, std::size_t &received, int &error);
    bool write(const void *data, std::size_t count, std::size_t &written, int &error);
    bool setBreak(bool on, int &error);
    bool close(int &error);

private:
    struct Arrival {
        uint64_t atMs;
        uint8_t byte;
    };
    struct Fault {
        int error;
        int times; // -1: for ever
    };

    bool takeFault(PortCall call, int &error);
    PortEvent &record(PortEvent::Kind kind);
    uint64_t readEnd(std::size_t count, std::size_t &taken);

    int number_;
    VirtualClock &clock_;
    ReaderScript *reader_ = nullptr;
    std::deque<Arrival> input_;
    uint64_t lastArrival_ = 0;
    std::map<PortCall, Fault> faults_;
    int refusedOpens_ = 0;
    long shortWrite_ = -1;
    int emptyReadError_ = 0;
    std::chrono::microseconds closeDuration_{0};
    bool open_ = false;
    int openAttempts_ = 0;
    int openings_ = 0;
    bool breakOn_ = false;
    LineControl control_;
    PortTimeouts timeouts_;
    std::vector<PortEvent> events_;
};

} // namespace rdrload::testing
