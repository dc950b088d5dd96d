#pragma once
// How a load shows what happens to it, chosen by whoever starts the load:
// console lines for the command line, Qt signals for the window. The load
// calls every method at its moments; each report shows what its mode shows
// and ignores the rest, so the load itself never asks how it is run.

#include <QString>

class KLAVLoadReport {
public:
    virtual ~KLAVLoadReport() = default;

    // A console line of the load; the text starts with its own line end.
    virtual void line(const char *text) = 0;
    // Percentage of the database accepted so far, after every accepted block.
    virtual void progress(int percent) = 0;
    // The load ended with this result code.
    virtual void outcome(int code) = 0;
    // The load ended with this text (a NACK, a refused request, a time-out).
    virtual void outcomeText(const QString &text) = 0;
};
