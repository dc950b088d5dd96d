#pragma once

#include "RecordingTraceSink.h"
#include "ScopedLinkServices.h"
#include "SimProcess.h"
#include "TempFolder.h"
#include "link/SerialSystem.h"
#include "platform/SteadyClock.h"

#include <memory>
#include <string>
#include <vector>

namespace rdrload::testing {

// tools/reader-sim on a real pty as COM7 of a folder of its own, for the
// end-to-end tests: for the object's lifetime rdrload's link services are
// the platform serial service on that folder, the steady clock and a
// recording trace sink. A fixture takes it as a base, a table test as a local.
class PtyReader {
public:
    PtyReader();
    PtyReader(const PtyReader &) = delete;
    PtyReader &operator=(const PtyReader &) = delete;

    // Starts reader-sim with "--record journal()" and `arguments` and links
    // its pty as COM7 of the folder (a test that starts a second reader
    // removes the first one's link first).
    void startReader(const std::vector<std::string> &arguments = {});

    // What reader-sim records of each exchange.
    std::string journal() const { return folder.file("journal"); }

    TempFolder folder;
    std::unique_ptr<SerialSystem> serial;
    SteadyClock clock;
    RecordingTraceSink trace;
    ScopedLinkServices installed;
    std::unique_ptr<SimProcess> reader;
};

} // namespace rdrload::testing
