#include "PortTransfers.h"

#include "link/LinkTrace.h"

namespace rdrload {

bool writeWhole(PortHandle handle, const void *data, std::size_t count)
{
    std::size_t written = 0;
    return WritePort(handle, data, count, &written) && written == count;
}

bool writeByte(PortHandle handle, uint8_t byte)
{
    return writeWhole(handle, &byte, 1);
}

bool readWhole(PortHandle handle, void *buffer, std::size_t count)
{
    std::size_t received = 0;
    return ReadPort(handle, buffer, count, &received) && received == count;
}

int closeWith(PortHandle *handle, const char *trace, int result)
{
    ClosePort(handle);
    traceText(trace);
    return result;
}

} // namespace rdrload
