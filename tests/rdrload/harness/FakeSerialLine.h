#pragma once

#include "link/SerialChannel.h"

namespace rdrload::testing {

class FakePort;
class FakeSerialSystem;

// An open handle on a FakePort; after close() or handOver() every call
// fails. A line without a port (a handle that names no open port) fails
// every call from the start.
class FakeSerialLine : public SerialChannel {
public:
    FakeSerialLine(FakePort *port, FakeSerialSystem &system);

    bool getControl(LineControl &control) override;
    bool setControl(const LineControl &control) override;
    bool getTimeouts(PortTimeouts &timeouts) override;
    bool setTimeouts(const PortTimeouts &timeouts) override;
    bool purge(unsigned actions) override;
    bool read(void *buffer, std::size_t count, std::size_t &received) override;
    bool write(const void *data, std::size_t count, std::size_t &written) override;
    bool setBreak() override;
    bool clearBreak() override;
    bool close() override;
    void *handOver() override;
    int lastError() const override { return lastError_; }
    // The fake plays a line whose reads can stay in progress: the error
    // number a Windows line gives then.
    bool readPending() const override { return lastError_ == kWindowsIoPending; }
    static constexpr int kWindowsIoPending = 997;

private:
    bool closedCall();
    bool result(bool ok, int error);

    FakePort *port_;
    FakeSerialSystem &system_;
    bool closed_;
    int lastError_ = 0;
};

} // namespace rdrload::testing
