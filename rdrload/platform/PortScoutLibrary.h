#pragma once
// The platform side of loading the PortScout helper: finding and opening the
// library file and looking a function up in it. Only PortScoutLoader uses it.

namespace rdrload {

// Opens the helper under portScoutFileName(): first from the folder that
// holds this code's module (librdrload.so / rdrload.dll, or the program it is
// linked into), then by the platform's usual search. Null when not found.
// Never closed: later downloads use the functions again.
void *openPortScoutLibrary();

// The address of the function called name in library; null when missing.
void *portScoutSymbol(void *library, const char *name);

// The helper's file name on this platform.
const char *portScoutFileName();

} // namespace rdrload
