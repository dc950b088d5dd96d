// ThirdPartyUpdate_: the exported entry of the update package transfer.

#include "rdrload.h"

#include "ops/ThirdPartyUpdate.h"

extern "C" int ThirdPartyUpdate_(unsigned char *package, unsigned long length, int,
                                 unsigned char port, int, void(__stdcall *callback)(void *))
{
    return rdrload::ThirdPartyUpdate(package, length, port, callback).run();
}
