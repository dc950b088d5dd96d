#include "RecordingTraceSink.h"

#include <algorithm>

namespace rdrload::testing {

void RecordingTraceSink::trace(const char *text)
{
    std::lock_guard<std::mutex> guard(mutex_);
    texts_.emplace_back(text);
}

std::vector<std::string> RecordingTraceSink::texts() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return texts_;
}

std::string RecordingTraceSink::joined() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    std::string all;
    for (const std::string &text : texts_)
        all += text;
    return all;
}

int RecordingTraceSink::count(const std::string &text) const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return static_cast<int>(std::count(texts_.begin(), texts_.end(), text));
}

void RecordingTraceSink::clear()
{
    std::lock_guard<std::mutex> guard(mutex_);
    texts_.clear();
}

} // namespace rdrload::testing
