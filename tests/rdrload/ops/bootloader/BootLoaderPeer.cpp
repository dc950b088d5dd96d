#include "BootLoaderPeer.h"

#include "FakePort.h"

#include <utility>

namespace rdrload::testing {

BootLoaderPeer::BootLoaderPeer(readersim::BootLoaderOptions options)
    : sim_(std::move(options), [this](const std::string &line) { journal_.push_back(line); })
{
}

void BootLoaderPeer::onOpen(FakePort &)
{
    sim_.hostOpened();
}

void BootLoaderPeer::onClose(FakePort &)
{
    sim_.hostClosed();
}

void BootLoaderPeer::onWrite(FakePort &port, const Bytes &bytes)
{
    const bool wasLaunched = sim_.launched();
    sim_.received(bytes);
    port.send(sim_.takeOutput());
    // The next line-settings write after the launch is the baud-rate change.
    if (failBaudChange_ && !wasLaunched && sim_.launched())
        port.failCall(PortCall::SetControl);
}

} // namespace rdrload::testing
