#pragma once

namespace rdrload {

// Sets the RTS line, then 50 ms later the DTR line, of a COM port (0 drops
// a line, any other value raises it), and leaves the port open for the host.
//
// *handle is the host's variable for the port, in the platform's own form
// (the HANDLE of CreateFileA on Windows, the file descriptor as a
// pointer-sized value on POSIX). When it is null, COM `port` is opened at
// 9600 baud and its handle stored there; the host owns it from then on and
// closes it with the platform's call (CloseHandle, close), since no export
// closes it. When it is not null, that handle is used as it is, whether an
// earlier call or the host itself opened it, and is neither reopened nor
// closed. A failed opening leaves *handle null so that the next call tries
// again. Returns 0, 1 when the port cannot be opened, or 10 for a null
// `handle`.
int SetLineLevels(int port, int dtr, int rts, void **handle);

} // namespace rdrload
