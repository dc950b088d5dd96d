#include "KLAVConsoleReport.h"

#include <cstdio>

void KLAVConsoleReport::line(const char *text)
{
    std::fputs(text, stdout);
    std::fflush(stdout);
}

void KLAVConsoleReport::progress(int percent)
{
    if (percent % 10 != 0 || percent == lastPrinted)
        return;
    char text[40];
    std::snprintf(text, sizeof text, "\nLoading progress : %d %%", percent);
    line(text);
    lastPrinted = percent;
}
