// ApplicationDL_, ApplicationDL_Lent_ and FirmwareDL_: the exchanges live in
// ops/; these only pick the variant and hand over the PortScout helper.

#include "rdrload.h"

#include "ops/ApplicationDownload.h"
#include "ops/FirmwareDownload.h"
#include "ops/PortScoutLoader.h"

extern "C" int ApplicationDL_(unsigned char *image, unsigned long length, unsigned char port,
                              int checkHeader, void(__stdcall *callback)(void *))
{
    return rdrload::ApplicationDownload(rdrload::ApplicationDownload::kNormal)
        .run(image, length, port, checkHeader, callback);
}

extern "C" int ApplicationDL_Lent_(unsigned char *image, unsigned long length, unsigned char port,
                                   int checkHeader, void(__stdcall *callback)(void *))
{
    return rdrload::ApplicationDownload(rdrload::ApplicationDownload::kSlow)
        .run(image, length, port, checkHeader, callback);
}

extern "C" int FirmwareDL_(unsigned char *image, unsigned long length, unsigned char port,
                           int checkHeader, void(__stdcall *callback)(void *))
{
    const rdrload::PortScoutLookup helper = rdrload::loadPortScout();
    return rdrload::FirmwareDownload(helper, callback).run(image, length, port, checkHeader);
}
