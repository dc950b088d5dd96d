#pragma once

#include "FakePort.h"
#include "VirtualClock.h"
#include "link/SerialSystem.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

namespace rdrload::testing {

// A serial service whose ports are FakePorts on a virtual clock. A number
// without a port behaves like an absent device: every opening fails.
class FakeSerialSystem : public SerialSystem {
public:
    explicit FakeSerialSystem(VirtualClock &clock);

    // The port behind COM `number`, created on first use.
    FakePort &port(int number);
    // Opening attempts on numbers that have no port.
    int absentOpenAttempts() const;

    std::unique_ptr<SerialChannel> open(int number) override;
    // A line on the open port the handle names, or one whose every call
    // fails when it names none.
    std::unique_ptr<SerialChannel> borrow(void *platformHandle) override;
    std::string errorText(int error) override;

    // --- what a host does with platform handles
    // The handle of COM `number` as the platform would give it.
    static void *platformHandle(int number);
    // The host opens COM `number` itself: its handle, or null when the port
    // cannot be opened.
    void *hostOpen(int number);
    // The host closes a handle (CloseHandle): false when it names no open port.
    bool hostClose(void *platformHandle);

    // Closes running at the same moment, at most, over all ports.
    int mostConcurrentCloses() const { return mostConcurrentCloses_.load(); }
    void enterClose();
    void leaveClose();

private:
    FakePort *openPortOf(void *platformHandle);

    VirtualClock &clock_;
    mutable std::mutex mutex_;
    std::map<int, std::unique_ptr<FakePort>> ports_;
    int absentOpenAttempts_ = 0;
    std::atomic<int> closesRunning_{0};
    std::atomic<int> mostConcurrentCloses_{0};
};

} // namespace rdrload::testing
