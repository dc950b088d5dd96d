// The notice of a failed close on Windows: a modal message box without owner
// window, titled "Error", with the information icon.

#include "PlatformServices.h"

#include <memory>
#include <string>
#include <windows.h>

namespace rdrload {

namespace {

class MessageBoxNotice : public CloseFailureNotice {
public:
    void closeFailed(const std::string &systemText) override
    {
        ::MessageBoxA(nullptr, systemText.c_str(), "Error", MB_OK | MB_ICONINFORMATION);
    }
};

} // namespace

std::unique_ptr<CloseFailureNotice> createPlatformCloseFailureNotice()
{
    return std::make_unique<MessageBoxNotice>();
}

} // namespace rdrload
