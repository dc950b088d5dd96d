#include "LineLevels.h"

#include "api/rdrload.h"
#include "link/LinkTrace.h"
#include "link/SerialLink.h"

namespace rdrload {

namespace {

constexpr uint32_t kBaudRate = 9600;

} // namespace

int SetLineLevels(int port, int dtr, int rts, void **handle)
{
    if (handle == nullptr)
        return PARAMETER_ERROR;
    traceText("SetLevel_DTR_RTS OpenPort");
    if (*handle == nullptr) {
        PortHandle opened = nullptr;
        if (int result = OpenPort(port, &opened, kBaudRate); result != 0) {
            traceText(" - Error\n");
            // Null again, so that the next call tries to open the port.
            *handle = result == OPEN_COM_PORT ? nullptr : opened;
            return result;
        }
        *handle = opened;
        traceText(" - OK\n");
    } else {
        traceText(" - Port already opened - OK\n");
    }
    PortHandle line = static_cast<PortHandle>(*handle);
    SetRTS(rts, line);
    SleepMs(50);
    SetDTR(dtr, line);
    traceText("SetLevel_DTR_RTS - end\n");
    return 0;
}

} // namespace rdrload
