#pragma once

#include "BootLoaderSim.h"
#include "ReaderScript.h"

#include <string>
#include <vector>

namespace rdrload::testing {

// reader-sim's boot loader behind a fake port: what the host writes goes to
// it, what it answers arrives at once. Can also fail the baud-rate change
// that follows the launch command.
class BootLoaderPeer : public ReaderScript {
public:
    explicit BootLoaderPeer(readersim::BootLoaderOptions options = {});

    void failBaudChangeAfterLaunch() { failBaudChange_ = true; }
    const readersim::BootLoaderSim &sim() const { return sim_; }
    const std::vector<std::string> &journal() const { return journal_; }

    void onOpen(FakePort &port) override;
    void onClose(FakePort &port) override;
    void onWrite(FakePort &port, const Bytes &bytes) override;

private:
    std::vector<std::string> journal_;
    readersim::BootLoaderSim sim_;
    bool failBaudChange_ = false;
};

} // namespace rdrload::testing
