#include "ThreadProgressLog.h"

namespace rdrload::testing {

std::vector<SeenReport> &progressLog()
{
    thread_local std::vector<SeenReport> log;
    return log;
}

void __stdcall progressLogCallback(void *info)
{
    const auto *record = static_cast<const ProgressInfo *>(info);
    progressLog().push_back(SeenReport{record->done, record->remaining, *record->nextReport,
                                       record->text, record->threadId});
}

} // namespace rdrload::testing
