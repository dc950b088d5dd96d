#include "PortEvent.h"

namespace rdrload::testing {

std::string kindName(PortEvent::Kind kind)
{
    switch (kind) {
    case PortEvent::Kind::Open:
        return "open";
    case PortEvent::Kind::Close:
        return "close";
    case PortEvent::Kind::Write:
        return "write";
    case PortEvent::Kind::Read:
        return "read";
    case PortEvent::Kind::Break:
        return "break";
    case PortEvent::Kind::Control:
        return "control";
    case PortEvent::Kind::Timeouts:
        return "timeouts";
    case PortEvent::Kind::Purge:
        return "purge";
    }
    return "?";
}

} // namespace rdrload::testing
