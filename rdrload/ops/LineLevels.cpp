#include "LineLevels.h"

#include "api/rdrload.h"
#include "link/LinkTrace.h"
#include "link/SerialLink.h"

namespace rdrload {

namespace {

constexpr uint32_t kBaudRate = 9600;

void setLevels(PortHandle line, int dtr, int rts)
{
    SetRTS(rts, line);
    SleepMs(50);
    SetDTR(dtr, line);
}

} // namespace

int SetLineLevels(int port, int dtr, int rts, void **handle)
{
    if (handle == nullptr)
        return PARAMETER_ERROR;
    traceText("SetLevel_DTR_RTS OpenPort");
    if (*handle != nullptr) {
        traceText(" - Port already opened - OK\n");
        BorrowedPort kept(*handle);
        setLevels(kept.handle(), dtr, rts);
    } else {
        PortHandle opened = nullptr;
        if (int result = OpenPort(port, &opened, kBaudRate); result != 0) {
            traceText(" - Error\n");
            // Null again, so that the next call tries to open the port.
            if (result == OPEN_COM_PORT)
                *handle = nullptr;
            return result;
        }
        traceText(" - OK\n");
        setLevels(opened, dtr, rts);
        // From here the port is the host's: nothing of the library closes it.
        *handle = HandOverPort(&opened);
    }
    traceText("SetLevel_DTR_RTS - end\n");
    return 0;
}

} // namespace rdrload
