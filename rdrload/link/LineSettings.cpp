#include "LineSettings.h"

#include <tuple>

namespace rdrload {

namespace {

auto fieldsOf(const LineControl &c)
{
    return std::tie(c.length, c.baudRate, c.binary, c.parityCheck, c.outxCtsFlow, c.outxDsrFlow,
                    c.dtrControl, c.dsrSensitivity, c.txContinueOnXoff, c.outX, c.inX,
                    c.errorCharReplace, c.discardNull, c.rtsControl, c.abortOnError, c.xonLimit,
                    c.xoffLimit, c.byteSize, c.parity, c.stopBits, c.xonChar, c.xoffChar,
                    c.errorChar, c.eofChar, c.eventChar);
}

auto fieldsOf(const PortTimeouts &t)
{
    return std::tie(t.readInterval, t.readMultiplier, t.readConstant, t.writeMultiplier,
                    t.writeConstant);
}

} // namespace

bool LineControl::operator==(const LineControl &other) const
{
    return fieldsOf(*this) == fieldsOf(other);
}

bool PortTimeouts::operator==(const PortTimeouts &other) const
{
    return fieldsOf(*this) == fieldsOf(other);
}

} // namespace rdrload
