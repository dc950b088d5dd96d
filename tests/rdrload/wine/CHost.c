/* A Windows host program of our own, written in C as many hosts of the
   library are: it loads rdrload.dll with LoadLibraryA, finds the exports by
   their plain names, drives the lines of a COM port with SetLevel_DTR_RTS_
   and closes the handle it gets back with CloseHandle, then downloads an
   application through ApplicationDL_ on the same port, which must open at
   once, with a __stdcall progress callback.
   scripts/wine-tests runs it, 64-bit and 32-bit, against reader-sim and
   compares what the reader received with the file.

   usage: rdrload_c_host DLL PORT APPLICATION
   Prints one line per step; exits 0 when every step did what it should. */
#include "rdrload.h"

#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

typedef int (*SetLevelFn)(unsigned char, int, int, void **);
typedef int (*ApplicationFn)(unsigned char *, unsigned long, unsigned char, int,
                             void(__stdcall *)(void *));
typedef int (*LoadBufferFn)(char *, unsigned char **, unsigned long *, void(__stdcall *)(void *));
typedef int (*FreeBufferFn)(unsigned char *);

/* Opening attempts on a port that stays held last ten seconds. */
static const DWORD kHeldPortMs = 8000;

static unsigned long g_reports = 0;
static unsigned long g_lastDone = 0;
static unsigned long g_strayReports = 0;
static const char *g_lastText = "";

/* Called by the library as __stdcall: on 32-bit Windows this function
   removes its own argument, and a caller that did not expect that would
   leave its stack one argument off after every report. */
static void __stdcall onProgress(void *argument)
{
    const ProgressInfo *info = (const ProgressInfo *)argument;
    ++g_reports;
    if (info == NULL || info->text == NULL || info->nextReport == NULL ||
        info->threadId != GetCurrentThreadId() || info->done < g_lastDone) {
        ++g_strayReports;
        return;
    }
    g_lastDone = info->done;
    g_lastText = info->text;
}

static FARPROC find(HMODULE dll, const char *name)
{
    FARPROC function = GetProcAddress(dll, name);
    if (function == NULL)
        printf("c-host: %s is not exported by its plain name\n", name);
    return function;
}

int main(int argc, char **argv)
{
    HMODULE dll;
    SetLevelFn setLevel;
    ApplicationFn download;
    LoadBufferFn loadBuffer;
    FreeBufferFn freeBuffer;
    void *handle = NULL;
    unsigned char *image = NULL;
    unsigned long size = 0;
    unsigned char port;
    int result;
    DWORD started;
    DWORD took;
    DCB dcb;

    if (argc != 4) {
        fprintf(stderr, "usage: rdrload_c_host DLL PORT APPLICATION\n");
        return 2;
    }
    port = (unsigned char)atoi(argv[2]);
    printf("c-host: %d-bit host\n", (int)(sizeof(void *) * 8));
    dll = LoadLibraryA(argv[1]);
    if (dll == NULL) {
        printf("c-host: LoadLibraryA failed: %lu\n", (unsigned long)GetLastError());
        return 1;
    }
    setLevel = (SetLevelFn)(void (*)(void))find(dll, "SetLevel_DTR_RTS_");
    download = (ApplicationFn)(void (*)(void))find(dll, "ApplicationDL_");
    loadBuffer = (LoadBufferFn)(void (*)(void))find(dll, "LoadBuffer_");
    freeBuffer = (FreeBufferFn)(void (*)(void))find(dll, "FreeBuffer_");
    if (setLevel == NULL || download == NULL || loadBuffer == NULL || freeBuffer == NULL)
        return 1;

    /* The port left open for the host, closed by the host. */
    result = setLevel(port, 1, 1, &handle);
    if (result != 0 || handle == NULL || handle == INVALID_HANDLE_VALUE) {
        printf("c-host: SetLevel_DTR_RTS_ returned %d, handle %p\n", result, handle);
        return 1;
    }
    /* The port's own HANDLE, at the rate the call opened it with... */
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState((HANDLE)handle, &dcb) || dcb.BaudRate != 9600) {
        printf("c-host: the handle is no COM port at 9600 baud (%lu)\n",
               (unsigned long)GetLastError());
        return 1;
    }
    /* ...which the host closes, and then nothing holds it. */
    if (!CloseHandle((HANDLE)handle)) {
        printf("c-host: CloseHandle of the SetLevel_DTR_RTS_ handle failed: %lu\n",
               (unsigned long)GetLastError());
        return 1;
    }
    if (GetCommState((HANDLE)handle, &dcb)) {
        printf("c-host: the handle still works after CloseHandle\n");
        return 1;
    }
    printf("c-host: SetLevel_DTR_RTS_ 0, its handle closed with CloseHandle\n");

    if (loadBuffer(argv[3], &image, &size, NULL) != 0) {
        printf("c-host: LoadBuffer_ could not read %s\n", argv[3]);
        return 1;
    }
    started = GetTickCount();
    result = download(image, size, port, 0, onProgress);
    took = GetTickCount() - started;
    freeBuffer(image);
    printf("c-host: ApplicationDL_ %d after %lu ms: %lu bytes, %lu reports, last \"%s\"\n", result,
           (unsigned long)took, size, g_reports, g_lastText);
    FreeLibrary(dll);
    /* A port still held would take ten seconds of opening attempts first. */
    if (took >= kHeldPortMs)
        printf("c-host: the port did not open at once\n");
    if (result != 0 || took >= kHeldPortMs || g_reports == 0 || g_strayReports != 0 ||
        g_lastDone != size) {
        printf("c-host: FAILED (%lu stray reports, last done %lu)\n", g_strayReports, g_lastDone);
        return 1;
    }
    return 0;
}
