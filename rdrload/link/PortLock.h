#pragma once

#include <mutex>

namespace rdrload {

// The library's one lock: it serialises the closing of port handles. It is
// created by the first port opening, exactly once however many threads
// open their first ports at the same moment, and lives until the library is
// unloaded.
class PortLock {
public:
    // Creates the lock unless it exists.
    static void create();
    // The lock (created on the way if it does not exist yet).
    static std::mutex &mutex();
    // How many times the lock has been created: 0 before the first
    // opening, 1 ever after.
    static int creationCount();
};

} // namespace rdrload
