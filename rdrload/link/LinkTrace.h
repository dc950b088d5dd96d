#pragma once

namespace rdrload {

// Writes one fixed text to the trace sink in use.
void traceText(const char *text);

// Formats a text (printf rules, at most 511 characters) and writes it to the
// trace sink in use as one text.
void traceFormat(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

} // namespace rdrload
