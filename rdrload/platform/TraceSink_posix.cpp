// The debug output channel on POSIX: syslog at debug level.

#include "PlatformServices.h"
#include "link/TraceSink.h"

#include <memory>
#include <syslog.h>

namespace rdrload {

namespace {

class SyslogTraceSink : public TraceSink {
public:
    void trace(const char *text) override { ::syslog(LOG_DEBUG, "%s", text); }
};

} // namespace

std::unique_ptr<TraceSink> createPlatformTraceSink()
{
    return std::make_unique<SyslogTraceSink>();
}

} // namespace rdrload
