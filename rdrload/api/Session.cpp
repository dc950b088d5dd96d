// OpenSession_ and CloseSession_: every operation opens and closes its own
// port, so there is no session state; hosts that bracket their calls with
// these still get success.

#include "rdrload.h"

extern "C" int OpenSession_(void)
{
    return 0;
}

extern "C" int CloseSession_(void)
{
    return 0;
}
