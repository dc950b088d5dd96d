// The debug output channel on Windows: the debugger message stream, and a
// message box for the one message a user must see.

#include "PlatformServices.h"
#include "TraceSink.h"

#include <memory>
#include <windows.h>

namespace rdrload {

namespace {

class DebuggerTraceSink : public TraceSink {
public:
    void trace(const char *text) override { ::OutputDebugStringA(text); }
};

} // namespace

std::unique_ptr<TraceSink> createPlatformTraceSink()
{
    return std::make_unique<DebuggerTraceSink>();
}

void showCloseFailure(const std::string &systemText)
{
    ::MessageBoxA(nullptr, systemText.c_str(), "Error", MB_OK | MB_ICONINFORMATION);
}

} // namespace rdrload
