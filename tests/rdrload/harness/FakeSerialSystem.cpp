#include "FakeSerialSystem.h"

#include "FakeSerialLine.h"

#include <cstdint>

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
    return std::make_unique<FakeSerialLine>(found, *this);
}

namespace {

// Fake platform handles: a recognisable value per COM number.
constexpr std::uintptr_t kHandleBase = 0x5E0000;

} // namespace

void *FakeSerialSystem::platformHandle(int number)
{
    return reinterpret_cast<void *>(kHandleBase + static_cast<std::uintptr_t>(number));
}

FakePort *FakeSerialSystem::openPortOf(void *platformHandle)
{
    const auto value = reinterpret_cast<std::uintptr_t>(platformHandle);
    std::lock_guard<std::mutex> guard(mutex_);
    for (auto &[number, port] : ports_) {
        if (value == kHandleBase + static_cast<std::uintptr_t>(number) && port->isOpen())
            return port.get();
    }
    return nullptr;
}

std::unique_ptr<SerialChannel> FakeSerialSystem::borrow(void *platformHandle)
{
    return std::make_unique<FakeSerialLine>(openPortOf(platformHandle), *this);
}

void *FakeSerialSystem::hostOpen(int number)
{
    return port(number).tryOpen() ? platformHandle(number) : nullptr;
}

bool FakeSerialSystem::hostClose(void *platformHandle)
{
    FakePort *found = openPortOf(platformHandle);
    int error = 0;
    return found != nullptr && found->close(error);
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
