#pragma once

namespace rdrload {

// Sets the RTS line, then 50 ms later the DTR line, of COM `port` (0 drops
// a line, any other value raises it). The port is opened at 9600 baud into
// *handle when *handle is null and left open there for the next call,
// which reuses it; no operation of the library closes it. A failed opening
// leaves *handle null so that the next call tries again. Returns 0, 1 when
// the port cannot be opened, or 10 for a null `handle`.
int SetLineLevels(int port, int dtr, int rts, void **handle);

} // namespace rdrload
