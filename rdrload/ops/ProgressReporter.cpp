#include "ProgressReporter.h"

#include "platform/ThreadId.h"

namespace rdrload {

ProgressReporter::ProgressReporter(ProgressCallback callback, uint32_t done, uint32_t remaining)
    : callback_(callback)
{
    info_.done = done;
    info_.remaining = remaining;
    info_.nextReport = &threshold_;
    info_.text = "";
    info_.threadId = currentThreadId();
}

void ProgressReporter::setCounts(uint32_t done, uint32_t remaining)
{
    info_.done = done;
    info_.remaining = remaining;
}

void ProgressReporter::report(const char *text)
{
    if (!callback_)
        return;
    info_.text = text;
    callback_(&info_);
}

void ProgressReporter::reportData(const char *text)
{
    if (info_.done >= threshold_)
        report(text);
}

} // namespace rdrload
