#pragma once

#include "PortScoutFunctions.h"

namespace rdrload {

// Loads the PortScout helper library (libPortScout.so on Linux, PortScout.dll
// on Windows): first from the folder that holds this library, then by the
// platform's usual search, and looks its four functions up. The library
// stays loaded for the life of the process; each call looks the functions up
// again.
PortScoutLookup loadPortScout();

} // namespace rdrload
