/*
 * PortScout: finds which USB hub position a COM port's device sits at, and
 * which COM port the device at a hub position has now. A reader that
 * restarts into its firmware loader comes back as a new USB device, often
 * under another COM number, but at the same hub position.
 *
 * Texts are wide (wchar_t) and zero-terminated. The caller's identifier
 * buffer holds 400 bytes and its COM-name buffer 200 bytes: an identifier
 * longer than 400 / sizeof(wchar_t) - 1 characters, or a COM name longer
 * than 200 / sizeof(wchar_t) - 1, counts as not found. Every function
 * returns 0 when it found what it was asked, 1 when not, 2 for a null
 * argument, and touches its output only on success.
 */
#ifndef PORTSCOUT_PORTSCOUT_H
#define PORTSCOUT_PORTSCOUT_H

#include <stdint.h>
#include <wchar.h>

#if defined(_WIN32)
/* PortScout.def exports the functions by their plain names; a dllexport
   here would add the decorated names (name@8) of 32-bit Windows. */
#define PORTSCOUT_CALL __stdcall
#define PORTSCOUT_EXPORT
#else
#define PORTSCOUT_CALL
#define PORTSCOUT_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* COM port number -> identifier of the USB device behind it. */
PORTSCOUT_EXPORT uint8_t PORTSCOUT_CALL searchDriverByComPemtal(int32_t com, wchar_t *identifier);
/* Identifier -> hub number (the parent hub's device number) and the port of
   the device on that hub. */
PORTSCOUT_EXPORT uint8_t PORTSCOUT_CALL searchPositionByDriver(const wchar_t *identifier,
                                                               int32_t *hub, int32_t *port);
/* Hub position -> identifier of the device there. */
PORTSCOUT_EXPORT uint8_t PORTSCOUT_CALL searchDriverByPosition(int32_t hub, int32_t port,
                                                               wchar_t *identifier);
/* Identifier -> "COM<n>", the COM port whose device link leads to one of the
   device's ttys. */
PORTSCOUT_EXPORT uint8_t PORTSCOUT_CALL searchComByDriverPemtal(const wchar_t *identifier,
                                                                wchar_t *comName);

#ifdef __cplusplus
}
#endif

#endif /* PORTSCOUT_PORTSCOUT_H */
