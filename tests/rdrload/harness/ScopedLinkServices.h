#pragma once

#include "link/LinkServices.h"

namespace rdrload::testing {

// Installs link services for the lifetime of the object and puts the
// previous ones back afterwards.
class ScopedLinkServices {
public:
    explicit ScopedLinkServices(const LinkServices &services)
        : previous_(installLinkServices(services))
    {
    }
    ~ScopedLinkServices() { installLinkServices(previous_); }
    ScopedLinkServices(const ScopedLinkServices &) = delete;
    ScopedLinkServices &operator=(const ScopedLinkServices &) = delete;

private:
    LinkServices previous_;
};

} // namespace rdrload::testing
