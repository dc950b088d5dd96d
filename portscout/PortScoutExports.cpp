// The library's four exports: the system's own /sys and /dev.

#include "PortScout.h"
#include "PortScoutCalls.h"

namespace {

const portscout::PortScoutCalls &systemCalls()
{
    static const portscout::UsbPortMap map("/sys", "/dev");
    static const portscout::PortScoutCalls calls(map);
    return calls;
}

} // namespace

extern "C" uint8_t PORTSCOUT_CALL searchDriverByComPemtal(int32_t com, wchar_t *identifier)
{
    return systemCalls().driverByCom(com, identifier);
}

extern "C" uint8_t PORTSCOUT_CALL searchPositionByDriver(const wchar_t *identifier, int32_t *hub,
                                                         int32_t *port)
{
    return systemCalls().positionByDriver(identifier, hub, port);
}

extern "C" uint8_t PORTSCOUT_CALL searchDriverByPosition(int32_t hub, int32_t port,
                                                         wchar_t *identifier)
{
    return systemCalls().driverByPosition(hub, port, identifier);
}

extern "C" uint8_t PORTSCOUT_CALL searchComByDriverPemtal(const wchar_t *identifier,
                                                          wchar_t *comName)
{
    return systemCalls().comByDriver(identifier, comName);
}
