#pragma once

#include "ReaderEngine.h"

#include <string>

namespace readersim {

// The reader's end of a pseudo-terminal. The host opens the slave side as
// its serial port; whether the host has it open shows as the hang-up state
// of this master side.
class PtyPort {
public:
    // Creates the pty; throws std::runtime_error when it cannot.
    PtyPort();
    ~PtyPort();
    PtyPort(const PtyPort &) = delete;
    PtyPort &operator=(const PtyPort &) = delete;

    // The device the host opens, e.g. "/dev/pts/3".
    const std::string &slavePath() const { return slavePath_; }

    struct Readiness {
        bool hostPresent = false; // the host holds the slave side open
        bool readable = false;    // bytes from the host are waiting
        bool interrupted = false; // a signal arrived
    };
    // Waits up to timeoutMs for bytes from the host.
    Readiness wait(int timeoutMs);
    // The bytes waiting from the host (empty when none).
    Bytes readAvailable();
    bool writeAll(const Bytes &bytes);

private:
    int master_ = -1;
    std::string slavePath_;
};

} // namespace readersim
