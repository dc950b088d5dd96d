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
    std::string errorText(int error) override;

    // Closes running at the same moment, at most, over all ports.
    int mostConcurrentCloses() const { return mostConcurrentCloses_.load(); }
    void enterClose();
    void leaveClose();

private:
    VirtualClock &clock_;
    mutable std::mutex mutex_;
    std::map<int, std::unique_ptr<FakePort>> ports_;
    int absentOpenAttempts_ = 0;
    std::atomic<int> closesRunning_{0};
    std::atomic<int> mostConcurrentCloses_{0};
};

} // namespace rdrload::testing
