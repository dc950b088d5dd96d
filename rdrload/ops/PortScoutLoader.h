#pragma once

#include "PortScoutFunctions.h"

namespace rdrload {

// Loads the PortScout helper library under the platform's file name for it
// (libPortScout.so on Linux, PortScout.dll on Windows): first from the folder that holds this
// library, then by the platform's usual search. The library stays loaded
// for the life of the process; each call looks the four functions up again.
PortScoutLookup loadPortScout();

// The helper's file name on this platform.
const char *portScoutFileName();

} // namespace rdrload
