#pragma once
// The PC/SC smart-card service: the platform's own header. pcsc-lite offers
// the calls and types of the Windows smart-card API under the same header
// name (narrow-character forms) and keeps the control-code macro and the
// attribute identifiers in a header of its own.

#include <winscard.h>
#if __has_include(<reader.h>)
#include <reader.h>
#endif
