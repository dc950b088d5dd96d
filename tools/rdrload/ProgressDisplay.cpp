#include "ProgressDisplay.h"

#include "rdrload.h"

namespace {

constexpr int kBarWidth = 30;
constexpr int kNoPercent = -1;

ProgressDisplay *g_current = nullptr;

// The report texts end with a line break or not; the display adds its own.
std::string trimmed(const char *text)
{
    std::string line = text != nullptr ? text : "";
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    return line;
}

} // namespace

ProgressDisplay::ProgressDisplay(std::FILE *out, bool terminal, bool remainingIsTotal)
    : out_(out), terminal_(terminal), remainingIsTotal_(remainingIsTotal)
{
}

int ProgressDisplay::percent(uint32_t done, uint32_t remaining) const
{
    const uint64_t total = remainingIsTotal_ ? remaining : uint64_t{done} + remaining;
    if (total == 0)
        return kNoPercent;
    const uint64_t part = done > total ? total : done;
    return static_cast<int>(part * 100 / total);
}

void ProgressDisplay::show(uint32_t done, uint32_t remaining, const char *text)
{
    const std::string line = trimmed(text);
    const int shown = percent(done, remaining);
    if (terminal_) {
        std::string bar(kBarWidth, ' ');
        const int filled = shown < 0 ? 0 : shown * kBarWidth / 100;
        for (int i = 0; i < filled; ++i)
            bar[static_cast<std::size_t>(i)] = '#';
        // Clear to the end of the line: the new text may be shorter.
        if (shown < 0)
            std::fprintf(out_, "\r[%s]      %s\033[K", bar.c_str(), line.c_str());
        else
            std::fprintf(out_, "\r[%s] %3d%% %s\033[K", bar.c_str(), shown, line.c_str());
        barDrawn_ = true;
    } else if (line != lastText_ || shown != lastPercent_) {
        std::fprintf(out_, "progress: %u %u %s\n", done, remaining, line.c_str());
    }
    lastText_ = line;
    lastPercent_ = shown;
    std::fflush(out_);
}

void ProgressDisplay::finish()
{
    if (barDrawn_)
        std::fputc('\n', out_);
    barDrawn_ = false;
}

void __stdcall ProgressDisplay::callback(void *info)
{
    const auto *report = static_cast<const ProgressInfo *>(info);
    if (g_current != nullptr && report != nullptr)
        g_current->show(report->done, report->remaining, report->text);
}

void ProgressDisplay::setCurrent(ProgressDisplay *display)
{
    g_current = display;
}
