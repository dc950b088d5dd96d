#include "ProgressLog.h"

#include <algorithm>

namespace rdrload::testing {

namespace {
std::vector<Report> g_reports;
uint32_t g_threshold = 0;
} // namespace

std::ostream &operator<<(std::ostream &out, const Report &report)
{
    return out << "{\"" << report.text << "\", " << report.done << ", " << report.remaining << "}";
}

void ProgressLog::start(uint32_t threshold)
{
    g_reports.clear();
    g_threshold = threshold;
}

void __stdcall ProgressLog::callback(void *info)
{
    auto *progress = static_cast<ProgressInfo *>(info);
    if (g_reports.empty() && g_threshold > 0)
        *progress->nextReport = g_threshold;
    g_reports.push_back(Report{progress->text, progress->done, progress->remaining});
}

const std::vector<Report> &ProgressLog::reports()
{
    return g_reports;
}

std::vector<std::string> ProgressLog::texts()
{
    std::vector<std::string> all;
    for (const Report &report : g_reports)
        all.push_back(report.text);
    return all;
}

int ProgressLog::count(const std::string &text)
{
    return static_cast<int>(std::count_if(g_reports.begin(), g_reports.end(),
                                          [&](const Report &r) { return r.text == text; }));
}

} // namespace rdrload::testing
