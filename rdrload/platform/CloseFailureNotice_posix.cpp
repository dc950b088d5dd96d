// The notice of a failed close on POSIX: one line on standard error. The
// debug trace carries only the link layer's own "Error CloseHandle" text.

#include "PlatformServices.h"

#include <cstdio>
#include <memory>
#include <string>

namespace rdrload {

namespace {

class StandardErrorNotice : public CloseFailureNotice {
public:
    void closeFailed(const std::string &systemText) override
    {
        const std::string message = "Error: " + systemText + "\n";
        std::fputs(message.c_str(), stderr);
    }
};

} // namespace

std::unique_ptr<CloseFailureNotice> createPlatformCloseFailureNotice()
{
    return std::make_unique<StandardErrorNotice>();
}

} // namespace rdrload
