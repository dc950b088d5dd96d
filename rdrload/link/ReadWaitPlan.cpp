#include "ReadWaitPlan.h"

namespace rdrload {

ReadWaitPlan ReadWaitPlan::forRead(const PortTimeouts &timeouts, std::size_t count)
{
    ReadWaitPlan plan;
    const bool intervalMax = timeouts.readInterval == kMaxDword;
    if (intervalMax && timeouts.readMultiplier == 0 && timeouts.readConstant == 0) {
        plan.immediate = true;
        return plan;
    }
    if (timeouts.readMultiplier != 0 || timeouts.readConstant != 0) {
        plan.hasTotal = true;
        plan.totalMs =
            static_cast<uint64_t>(timeouts.readMultiplier) * count + timeouts.readConstant;
    }
    if (timeouts.readInterval != 0 && !intervalMax) {
        plan.hasInterval = true;
        plan.intervalMs = timeouts.readInterval;
    }
    return plan;
}

} // namespace rdrload
