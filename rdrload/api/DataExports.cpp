// The data-transfer and query exports: thin C-linkage entries into the
// operations.

#include "rdrload.h"

#include "ops/DownloadData.h"
#include "ops/HostQueries.h"
#include "ops/LineLevels.h"
#include "ops/TestMode.h"
#include "ops/UploadData.h"

namespace {

constexpr char kProductIdLetter = 'I';
constexpr char kReaderTypeLetter = 'Y';

} // namespace

extern "C" int UploadData_(unsigned char *buffer, char letter, int size, unsigned char port,
                           void(__stdcall *callback)(void *))
{
    return rdrload::UploadData(buffer, letter, size, port, callback);
}

extern "C" int ReaderPID_(unsigned char *buffer, int size, unsigned char port,
                          void(__stdcall *callback)(void *))
{
    return rdrload::UploadData(buffer, kProductIdLetter, size, port, callback);
}

extern "C" int ReaderType_(char *buffer, int size, unsigned char port,
                           void(__stdcall *callback)(void *))
{
    return rdrload::UploadData(reinterpret_cast<unsigned char *>(buffer), kReaderTypeLetter, size,
                               port, callback);
}

extern "C" int DownloadData_(unsigned char *data, int length, char letter, unsigned char port)
{
    return rdrload::DownloadData(data, length, letter, port);
}

extern "C" int testMode_(char test, unsigned char *buffer, int size, unsigned char port)
{
    return rdrload::TestMode(test, buffer, size, port);
}

extern "C" int SetLevel_DTR_RTS_(unsigned char port, int dtr, int rts, void **handle)
{
    return rdrload::SetLineLevels(port, dtr, rts, handle);
}

extern "C" int GetSerialNumber_(unsigned char, char *buffer)
{
    return rdrload::copySerialNumber(buffer);
}

extern "C" struct tm *GetClientTime_(unsigned char, int)
{
    return rdrload::clientTime();
}
