#include "LinkTrace.h"

#include "LinkServices.h"

#include <cstdarg>
#include <cstdio>

namespace rdrload {

void traceText(const char *text)
{
    linkServices().trace->trace(text);
}

void traceFormat(const char *format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    traceText(text);
}

} // namespace rdrload
