// FirmLoaderDL_: reflashes a reader through its boot loader (ops/FirmLoader).

#include "ops/FirmLoader.h"
#include "rdrload.h"

extern "C" int FirmLoaderDL_(unsigned char *config, int configLength, unsigned char *boot,
                             int bootLength, unsigned char *image, int imageLength,
                             unsigned char port, unsigned char *productId,
                             void(__stdcall *callback)(void *), int imageAddress, int loadAddress)
{
    rdrload::FirmLoaderRequest request;
    request.config = config;
    request.configLength = configLength;
    request.boot = boot;
    request.bootLength = bootLength;
    request.image = image;
    request.imageLength = imageLength;
    request.port = port;
    request.productId = productId;
    request.callback = callback;
    request.imageAddress = static_cast<uint32_t>(imageAddress);
    request.loadAddress = static_cast<uint32_t>(loadAddress);
    return rdrload::FirmLoader(request).run();
}
