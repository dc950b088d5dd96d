#pragma once
// The console's report of a load: its lines on standard output, each flushed
// at once, and the progress at each new multiple of ten per cent. Results
// are shown by the caller from the returned code. One report per load.

#include "load/KLAVLoadReport.h"

class KLAVConsoleReport : public KLAVLoadReport {
public:
    void line(const char *text) override;
    void progress(int percent) override;
    void outcome(int) override {}
    void outcomeText(const QString &) override {}

private:
    int lastPrinted = 0;
};
