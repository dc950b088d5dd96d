// The debug output channel on Windows: the debugger message stream.

#include "PlatformServices.h"
#include "link/TraceSink.h"

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

} // namespace rdrload
