#include "FakeSerialSystem.h"

#include "FakeSerialLine.h"

namespace rdrload::testing {

FakeSerialSystem::FakeSerialSystem(VirtualClock &clock) : clock_(clock) {}

FakePort &FakeSerialSystem::port(int number)
{
    std::lock_guard<std::mutex> guard(mutex_);
    std::unique_ptr<FakePort> &slot = ports_[number];
    if (!slot)
        slot = std::make_unique<FakePort>(number, clock_);
    return *slot;
}

int FakeSerialSystem::absentOpenAttempts() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return absentOpenAttempts_;
}

std::unique_ptr<SerialChannel> FakeSerialSystem::open(int number)
{
    FakePort *found = nullptr;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        auto slot = ports_.find(number);
        if (slot == ports_.end()) {
            ++absentOpenAttempts_;
            return nullptr;
        }
        found = slot->second.get();
    }
    if (!found->tryOpen())
        return nullptr;
    return std::make_unique<FakeSerialLine>(*found, *this);
}

std::string FakeSerialSystem::errorText(int error)
{
    return "fake error " + std::to_string(error);
}

void FakeSerialSystem::enterClose()
{
    int running = closesRunning_.fetch_add(1) + 1;
    int most = mostConcurrentCloses_.load();
    while (running > most && !mostConcurrentCloses_.compare_exchange_weak(most, running)) {
    }
}

void FakeSerialSystem::leaveClose()
{
    closesRunning_.fetch_sub(1);
}

} // namespace rdrload::testing
