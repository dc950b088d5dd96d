// PacketDL_: a combined firmware-and-application packet; the exchange lives
// in ops/.

#include "rdrload.h"

#include "ops/PacketDownload.h"
#include "ops/PortScoutLoader.h"

extern "C" int PacketDL_(unsigned char *packet, unsigned char port,
                         void(__stdcall *callback)(void *))
{
    return rdrload::PacketDownload(rdrload::loadPortScout).run(packet, port, callback);
}
