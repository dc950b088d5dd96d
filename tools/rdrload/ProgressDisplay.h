#pragma once

#include "rdrload.h"

#include <cstdint>
#include <cstdio>
#include <string>

// Shows the library's progress reports: on a terminal one bar that is
// redrawn in place, with the report text; otherwise plain lines, one per
// report whose text or whole percentage differs from the last line's.
class ProgressDisplay {
public:
    // `remainingIsTotal`: the operation's remaining field is the total (the
    // upload's step count) rather than what is left.
    ProgressDisplay(std::FILE *out, bool terminal, bool remainingIsTotal);

    void show(uint32_t done, uint32_t remaining, const char *text);
    // Ends the bar's line, if one is drawn.
    void finish();

    // The callback handed to the library; it shows on the display made
    // current with setCurrent() (the callback has no argument of ours). Its
    // calling convention is the library's callback type's (__stdcall on
    // 32-bit Windows).
    static void __stdcall callback(void *info);
    static void setCurrent(ProgressDisplay *display);

private:
    int percent(uint32_t done, uint32_t remaining) const;

    std::FILE *out_;
    bool terminal_;
    bool remainingIsTotal_;
    bool barDrawn_ = false;
    std::string lastText_;
    int lastPercent_ = -2;
};
