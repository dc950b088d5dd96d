#pragma once

#include <string>

namespace rdrload {

// Tells the user that closing a port failed, with the system's text for the
// error: a modal message box titled "Error" on Windows, standard error on
// POSIX. Never part of the debug trace. The link layer calls it after it has
// released the port lock, so a box that waits for a click holds up only the
// thread whose close failed.
class CloseFailureNotice {
public:
    virtual ~CloseFailureNotice() = default;

    virtual void closeFailed(const std::string &systemText) = 0;
};

} // namespace rdrload
