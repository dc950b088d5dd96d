#pragma once

#include <functional>
#include <string>

namespace rdrload {

// Where COM port number n lives on Linux: <folder>/COM<n> when such an
// entry exists (a udev rule or an administrator can create it as a link to
// the reader's tty), else the n-th standard serial port <folder>/ttyS<n-1>.
// The folder is /dev in production; the existence test is given so that
// the rule can be checked without touching /dev.
class DevicePathRule {
public:
    using ExistsFunction = std::function<bool(const std::string &path)>;

    DevicePathRule(std::string folder, ExistsFunction exists);

    // The device path for port number n (1 to 256).
    std::string pathFor(int number) const;

private:
    std::string folder_;
    ExistsFunction exists_;
};

} // namespace rdrload
