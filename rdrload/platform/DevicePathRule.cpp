#include "DevicePathRule.h"

#include <utility>

namespace rdrload {

DevicePathRule::DevicePathRule(std::string folder, ExistsFunction exists)
    : folder_(std::move(folder)), exists_(std::move(exists))
{
    if (!folder_.empty() && folder_.back() == '/')
        folder_.pop_back();
}

std::string DevicePathRule::pathFor(int number) const
{
    std::string named = folder_ + "/COM" + std::to_string(number);
    if (exists_(named))
        return named;
    return folder_ + "/ttyS" + std::to_string(number - 1);
}

} // namespace rdrload
