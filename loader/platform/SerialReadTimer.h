#pragma once
// When one read of an answer ends. The read time-outs bound it as the Windows
// serial driver does: the total time-out from the start of the read, the
// inter-byte time-out from the last byte received once one has come. An
// answer whose first byte is the quicker end's lead byte is complete once
// the line has been quiet for the quicker end's gap instead. Pure logic over
// times the caller reads from its clock, so every serial line (and the tests'
// scripted line on a virtual clock) ends its reads by the same rule.

#include "SerialLine.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>

class SerialReadTimer {
public:
    using Clock = std::chrono::steady_clock;

    SerialReadTimer(const SerialLineTimeouts &timeouts, size_t capacity, const SerialReadEnd &end,
                    Clock::time_point start)
        : capacity_(capacity), interval_(timeouts.readInterval), end_(end), lastByte_(start)
    {
        const uint64_t total =
            uint64_t(timeouts.readTotalMultiplier) * capacity + timeouts.readTotalConstant;
        bounded_ = total != 0;
        totalDeadline_ = start + std::chrono::milliseconds(total);
    }

    // count bytes arrived at `at`, the first of them at offset count() of the answer.
    void received(const uint8_t *bytes, size_t count, Clock::time_point at)
    {
        if (count == 0)
            return;
        if (received_ == 0 && end_.quietGap != 0 && bytes[0] == end_.leadByte)
            interval_ = end_.quietGap;
        received_ += count;
        lastByte_ = at;
    }

    size_t count() const { return received_; }
    bool full() const { return received_ >= capacity_; }

    // Milliseconds the read may still wait for its next byte, counted from
    // now and rounded up so that a wait never ends before its bound; 0 when
    // the read is over, -1 when nothing bounds the wait.
    long long waitMs(Clock::time_point now) const
    {
        if (full())
            return 0;
        long long wait = -1;
        if (bounded_)
            wait = millisecondsUntil(totalDeadline_, now);
        if (interval_ != 0 && received_ > 0) {
            const long long gap =
                millisecondsUntil(lastByte_ + std::chrono::milliseconds(interval_), now);
            wait = wait < 0 ? gap : std::min(wait, gap);
        }
        return wait;
    }

private:
    static long long millisecondsUntil(Clock::time_point deadline, Clock::time_point now)
    {
        if (deadline <= now)
            return 0;
        return std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
    }

    size_t capacity_;
    uint32_t interval_; // the inter-byte bound in force: the quiet gap once the lead byte came
    SerialReadEnd end_;
    bool bounded_ = false;
    Clock::time_point totalDeadline_;
    Clock::time_point lastByte_;
    size_t received_ = 0;
};
