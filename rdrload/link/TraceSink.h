#pragma once

namespace rdrload {

// Receives the library's debug trace, one call per fixed text. Texts that
// end with "\n" end a trace line; several texts may build one line.
class TraceSink {
public:
    virtual ~TraceSink() = default;

    virtual void trace(const char *text) = 0;
};

} // namespace rdrload
