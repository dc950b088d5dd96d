// The debug output channel on POSIX: syslog at debug level, and standard
// error for the one message a user must see.

#include "LinkServices.h"
#include "PlatformServices.h"
#include "TraceSink.h"

#include <cstdio>
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

void showCloseFailure(const std::string &systemText)
{
    const std::string message = "Error: " + systemText + "\n";
    linkServices().trace->trace(message.c_str());
    std::fputs(message.c_str(), stderr);
}

} // namespace rdrload
