/*
 * rdrload: downloads applications, firmware and data to card readers on
 * serial COM ports. Every export is a complete, blocking operation that
 * returns an integer result code.
 *
 * The free functions have C linkage, so a host program written in any
 * language finds them by their plain names; the header compiles as C and as
 * C++. Param::operator= is the one C++ export.
 */
#ifndef RDRLOAD_API_RDRLOAD_H
#define RDRLOAD_API_RDRLOAD_H

#include <stdint.h>

struct tm;

#if defined(_WIN32)
#if defined(RDRLOAD_BUILDING)
#define RDRLOAD_EXPORT __declspec(dllexport)
#else
#define RDRLOAD_EXPORT __declspec(dllimport)
#endif
#else
#if defined(RDRLOAD_BUILDING)
#define RDRLOAD_EXPORT __attribute__((visibility("default")))
#else
#define RDRLOAD_EXPORT
#endif
/* The callback's calling convention only means something on 32-bit Windows;
   elsewhere hosts may still write it, and it expands to nothing. */
#ifndef __stdcall
#define __stdcall
#endif
#endif

/* The progress callback of every export that reports progress. Its argument
   points at a ProgressInfo that is valid only during the call. */
typedef void(__stdcall *ProgressCallback)(void *);

/* One progress report. */
typedef struct ProgressInfo {
    uint32_t done;        /* amount completed */
    uint32_t remaining;   /* amount still to send */
    uint32_t *nextReport; /* data-progress reports wait until done reaches *nextReport */
    const char *text;     /* current status text, a literal of the library */
    uint32_t threadId;    /* thread that called the export */
} ProgressInfo;

/* Result codes; 0 is success. */
enum RdrloadResult {
    OPEN_COM_PORT = 1,
    COM_ERROR = 2,
    FILE_ERROR = 3,
    SIGNATURE_ERROR = 5,
    TIMEOUT_ERROR = 6,
    WRITE_ERROR = 7,
    NACK_ERROR = 8,
    PARAMETER_ERROR = 10,
    DATA_SIZE_ERROR = 11,
    NULL_BUFFER = 12,
    OTHER_ERROR = 18
};

/* A plain 20-byte record; the library only exports its copy assignment. */
typedef struct Param {
    unsigned char bytes[20];
#ifdef __cplusplus
    Param() = default;
    Param(const Param &) = default;
    /* Copies all 20 bytes (also onto itself) and returns the target. */
    RDRLOAD_EXPORT Param &operator=(const Param &source);
#endif
} Param;

#ifdef __cplusplus
extern "C" {
#endif

/* Downloads an application image to the reader on COM port `port`; with
   `checkHeader` non-zero the image's header is tested first. */
RDRLOAD_EXPORT int ApplicationDL_(unsigned char *image, unsigned long length, unsigned char port,
                                  int checkHeader, void(__stdcall *callback)(void *));
/* As ApplicationDL_, pausing after every block for slower readers. */
RDRLOAD_EXPORT int ApplicationDL_Lent_(unsigned char *image, unsigned long length,
                                       unsigned char port, int checkHeader,
                                       void(__stdcall *callback)(void *));
/* Downloads a firmware image; the header is tested when `checkHeader` is 1. */
RDRLOAD_EXPORT int FirmwareDL_(unsigned char *image, unsigned long length, unsigned char port,
                               int checkHeader, void(__stdcall *callback)(void *));
/* Sends configuration, boot and image files as boot records through the
   reader's boot loader and flashes the image. */
RDRLOAD_EXPORT int FirmLoaderDL_(unsigned char *config, int configLength, unsigned char *boot,
                                 int bootLength, unsigned char *image, int imageLength,
                                 unsigned char port, unsigned char *productId,
                                 void(__stdcall *callback)(void *), int imageAddress,
                                 int loadAddress);
/* Announces and transfers a third-party update package. Returns 0, a result
   code, or 0xFF000000 plus the reader's reason byte when it refuses. */
RDRLOAD_EXPORT int ThirdPartyUpdate_(unsigned char *package, unsigned long length, int unused1,
                                     unsigned char port, int unused2,
                                     void(__stdcall *callback)(void *));
/* Downloads a combined firmware-and-application packet. */
RDRLOAD_EXPORT int PacketDL_(unsigned char *packet, unsigned char port,
                             void(__stdcall *callback)(void *));
/* Reads a data block of type `letter` into `buffer`. Returns minus the byte
   count, 0 for an empty answer, or a result code. */
RDRLOAD_EXPORT int UploadData_(unsigned char *buffer, char letter, int size, unsigned char port,
                               void(__stdcall *callback)(void *));
/* Writes a data block of type `letter` to the reader. */
RDRLOAD_EXPORT int DownloadData_(unsigned char *data, int length, char letter, unsigned char port);
/* UploadData_ of the reader's product identifier and of its type. */
RDRLOAD_EXPORT int ReaderPID_(unsigned char *buffer, int size, unsigned char port,
                              void(__stdcall *callback)(void *));
RDRLOAD_EXPORT int ReaderType_(char *buffer, int size, unsigned char port,
                               void(__stdcall *callback)(void *));
/* Runs reader test `test` and stores its report. */
RDRLOAD_EXPORT int testMode_(char test, unsigned char *buffer, int size, unsigned char port);
/* Sets DTR and RTS on a port left open in *handle (opened on first use). */
RDRLOAD_EXPORT int SetLevel_DTR_RTS_(unsigned char port, int dtr, int rts, void **handle);
/* Queries answered on the host alone. */
RDRLOAD_EXPORT int GetSerialNumber_(unsigned char port, char *buffer);
RDRLOAD_EXPORT struct tm *GetClientTime_(unsigned char unused1, int unused2);

/* Reads the whole file at path into a new buffer. On success stores the
   buffer and its size and returns 0; on any failure returns 3 (FILE_ERROR)
   and leaves *buffer and *size unchanged. A file larger than the largest
   image an operation can carry (RDRLOAD_LARGEST_IMAGE bytes: lengths and
   progress counts are 32-bit) is refused with 3 before anything is read or
   allocated. The callback is never called. */
#define RDRLOAD_LARGEST_IMAGE 0xFFFFFFFFul
RDRLOAD_EXPORT int LoadBuffer_(char *path, unsigned char **buffer, unsigned long *size,
                               void(__stdcall *callback)(void *));

/* Releases a buffer from LoadBuffer_ (null is accepted); returns 0. */
RDRLOAD_EXPORT int FreeBuffer_(unsigned char *buffer);

/* Kept for hosts that bracket their calls; both do nothing and return 0. */
RDRLOAD_EXPORT int OpenSession_(void);
RDRLOAD_EXPORT int CloseSession_(void);

#ifdef __cplusplus
}
#endif

#endif /* RDRLOAD_API_RDRLOAD_H */
