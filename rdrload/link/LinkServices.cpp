#include "LinkServices.h"

#include "platform/PlatformServices.h"
#include "platform/SteadyClock.h"

#include <memory>

namespace rdrload {

namespace {

struct PlatformServiceSet {
    std::unique_ptr<SerialSystem> serial = createPlatformSerialSystem(platformDeviceFolder());
    SteadyClock clock;
    std::unique_ptr<TraceSink> trace = createPlatformTraceSink();
    std::unique_ptr<CloseFailureNotice> notice = createPlatformCloseFailureNotice();
};

PlatformServiceSet &platformServiceSet()
{
    static PlatformServiceSet services;
    return services;
}

LinkServices &currentServices()
{
    static LinkServices current = platformLinkServices();
    return current;
}

} // namespace

LinkServices platformLinkServices()
{
    PlatformServiceSet &set = platformServiceSet();
    return LinkServices{set.serial.get(), &set.clock, set.trace.get(), set.notice.get()};
}

const LinkServices &linkServices()
{
    return currentServices();
}

LinkServices installLinkServices(const LinkServices &services)
{
    LinkServices &current = currentServices();
    LinkServices previous = current;
    if (services.serial != nullptr)
        current.serial = services.serial;
    if (services.clock != nullptr)
        current.clock = services.clock;
    if (services.trace != nullptr)
        current.trace = services.trace;
    if (services.notice != nullptr)
        current.notice = services.notice;
    return previous;
}

} // namespace rdrload
