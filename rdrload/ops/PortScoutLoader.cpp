#include "PortScoutLoader.h"

#include "platform/PortScoutLibrary.h"

namespace rdrload {

namespace {

template <typename Function>
bool find(void *library, const char *name, Function &function, PortScoutLookup &lookup)
{
    function = reinterpret_cast<Function>(portScoutSymbol(library, name));
    if (function == nullptr && lookup.missing.empty())
        lookup.missing = name;
    return function != nullptr;
}

} // namespace

PortScoutLookup loadPortScout()
{
    PortScoutLookup lookup;
    void *library = openPortScoutLibrary();
    if (library == nullptr)
        return lookup;
    PortScoutFunctions &f = lookup.functions;
    bool all = find(library, kDriverByComName, f.driverByCom, lookup);
    all = find(library, kPositionByDriverName, f.positionByDriver, lookup) && all;
    all = find(library, kDriverByPositionName, f.driverByPosition, lookup) && all;
    all = find(library, kComByDriverName, f.comByDriver, lookup) && all;
    lookup.status =
        all ? PortScoutLookup::Status::Loaded : PortScoutLookup::Status::MissingFunction;
    return lookup;
}

} // namespace rdrload
