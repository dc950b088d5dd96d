#include "FakePort.h"

#include "link/ReadWaitPlan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <thread>

namespace rdrload::testing {

FakePort::FakePort(int number, VirtualClock &clock) : number_(number), clock_(clock) {}

void FakePort::send(const Bytes &bytes, uint64_t delayMs)
{
    // Bytes arrive in the order they were sent.
    const uint64_t at = std::max(clock_.nowMs() + delayMs, lastArrival_);
    for (uint8_t byte : bytes)
        input_.push_back(Arrival{at, byte});
    lastArrival_ = at;
}

void FakePort::failCall(PortCall call, int error, int times)
{
    faults_[call] = Fault{error, times};
}

int FakePort::count(PortEvent::Kind kind) const
{
    return static_cast<int>(std::count_if(events_.begin(), events_.end(),
                                          [kind](const PortEvent &e) { return e.kind == kind; }));
}

Bytes FakePort::written() const
{
    Bytes all;
    for (const PortEvent &event : events_) {
        if (event.kind == PortEvent::Kind::Write)
            all.insert(all.end(), event.data.begin(), event.data.end());
    }
    return all;
}

bool FakePort::takeFault(PortCall call, int &error)
{
    auto found = faults_.find(call);
    if (found == faults_.end() || found->second.times == 0)
        return false;
    error = found->second.error;
    if (found->second.times > 0)
        --found->second.times;
    return true;
}

PortEvent &FakePort::record(PortEvent::Kind kind)
{
    PortEvent event;
    event.kind = kind;
    event.atMs = clock_.nowMs();
    events_.push_back(event);
    return events_.back();
}

bool FakePort::tryOpen()
{
    ++openAttempts_;
    if (refusedOpens_ != 0) {
        if (refusedOpens_ > 0)
            --refusedOpens_;
        return false;
    }
    if (open_)
        return false; // ports are opened for exclusive use
    open_ = true;
    ++openings_;
    record(PortEvent::Kind::Open);
    if (reader_ != nullptr)
        reader_->onOpen(*this);
    return true;
}

bool FakePort::getControl(LineControl &control, int &error)
{
    if (takeFault(PortCall::GetControl, error))
        return false;
    control = control_;
    return true;
}

bool FakePort::setControl(const LineControl &control, int &error)
{
    if (takeFault(PortCall::SetControl, error))
        return false;
    control_ = control;
    record(PortEvent::Kind::Control).control = control;
    if (reader_ != nullptr)
        reader_->onControl(*this, control);
    return true;
}

bool FakePort::getTimeouts(PortTimeouts &timeouts, int &error)
{
    if (takeFault(PortCall::GetTimeouts, error))
        return false;
    timeouts = timeouts_;
    return true;
}

bool FakePort::setTimeouts(const PortTimeouts &timeouts, int &error)
{
    if (takeFault(PortCall::SetTimeouts, error))
        return false;
    timeouts_ = timeouts;
    record(PortEvent::Kind::Timeouts).timeouts = timeouts;
    if (reader_ != nullptr)
        reader_->onTimeouts(*this, timeouts);
    return true;
}

bool FakePort::purge(unsigned actions, int &error)
{
    if (takeFault(PortCall::Purge, error))
        return false;
    if (actions & kPurgeRxClear) {
        // What has arrived is dropped; what the reader sends later is not.
        const uint64_t now = clock_.nowMs();
        while (!input_.empty() && input_.front().atMs <= now)
            input_.pop_front();
    }
    record(PortEvent::Kind::Purge).actions = actions;
    if (reader_ != nullptr)
        reader_->onPurge(*this, actions);
    return true;
}

uint64_t FakePort::readEnd(std::size_t count, std::size_t &taken)
{
    constexpr uint64_t kNever = std::numeric_limits<uint64_t>::max();
    const uint64_t now = clock_.nowMs();
    const ReadWaitPlan plan = ReadWaitPlan::forRead(timeouts_, count);
    const uint64_t deadline = plan.immediate ? now : (plan.hasTotal ? now + plan.totalMs : kNever);
    uint64_t last = now;
    auto limit = [&] {
        uint64_t end = deadline;
        if (plan.hasInterval && taken > 0)
            end = std::min<uint64_t>(end, last + plan.intervalMs);
        return end;
    };
    taken = 0;
    for (const Arrival &arrival : input_) {
        if (taken == count)
            return last;
        const uint64_t at = std::max(arrival.atMs, now);
        if (at > limit())
            return limit();
        ++taken;
        last = at;
    }
    if (taken == count)
        return last;
    if (limit() == kNever) {
        ADD_FAILURE() << "a read of " << count << " bytes on fake COM" << number_
                      << " would wait for ever (no read timeout set)";
        return last;
    }
    return limit();
}

bool FakePort::read(void *buffer, std::size_t count, std::size_t &received, int &error)
{
    received = 0;
    const uint64_t startedAt = clock_.nowMs();
    if (takeFault(PortCall::Read, error)) {
        PortEvent &event = record(PortEvent::Kind::Read);
        event.requested = count;
        return false;
    }
    std::size_t taken = 0;
    const uint64_t end = readEnd(count, taken);
    auto *out = static_cast<uint8_t *>(buffer);
    Bytes data;
    for (std::size_t i = 0; i < taken; ++i) {
        out[i] = input_.front().byte;
        data.push_back(input_.front().byte);
        input_.pop_front();
    }
    clock_.advanceTo(end);
    PortEvent &event = record(PortEvent::Kind::Read);
    event.atMs = startedAt;
    event.requested = count;
    event.data = data;
    received = taken;
    error = taken == 0 ? emptyReadError_ : 0;
    return true;
}

bool FakePort::write(const void *data, std::size_t count, std::size_t &written, int &error)
{
    written = 0;
    if (takeFault(PortCall::Write, error)) {
        record(PortEvent::Kind::Write);
        return false;
    }
    std::size_t take = count;
    if (shortWrite_ >= 0) {
        take = std::min(count, static_cast<std::size_t>(shortWrite_));
        shortWrite_ = -1;
    }
    const auto *in = static_cast<const uint8_t *>(data);
    Bytes bytes(in, in + take);
    record(PortEvent::Kind::Write).data = bytes;
    written = take;
    if (reader_ != nullptr)
        reader_->onWrite(*this, bytes);
    return true;
}

bool FakePort::setBreak(bool on, int &error)
{
    if (takeFault(on ? PortCall::SetBreak : PortCall::ClearBreak, error))
        return false;
    breakOn_ = on;
    record(PortEvent::Kind::Break).on = on;
    if (reader_ != nullptr)
        reader_->onBreak(*this, on);
    return true;
}

bool FakePort::close(int &error)
{
    if (closeDuration_.count() > 0)
        std::this_thread::sleep_for(closeDuration_);
    const bool failed = takeFault(PortCall::Close, error);
    // The device is released even when the close reports an error.
    open_ = false;
    breakOn_ = false;
    record(PortEvent::Kind::Close);
    if (reader_ != nullptr)
        reader_->onClose(*this);
    return !failed;
}

} // namespace rdrload::testing
