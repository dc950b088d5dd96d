#include "StreamCapture.h"

#include <unistd.h>

namespace rdrload::testing {

StreamCapture::StreamCapture(FILE *stream) : stream_(stream)
{
    std::fflush(stream_);
    saved_ = ::dup(fileno(stream_));
    file_ = std::tmpfile();
    ::dup2(fileno(file_), fileno(stream_));
}

StreamCapture::~StreamCapture()
{
    release();
    std::fclose(file_);
}

std::string StreamCapture::text()
{
    std::fflush(stream_);
    std::string out;
    std::rewind(file_);
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file_)) > 0;)
        out.append(buffer, n);
    return out;
}

std::string StreamCapture::release()
{
    if (saved_ >= 0) {
        std::fflush(stream_);
        ::dup2(saved_, fileno(stream_));
        ::close(saved_);
        saved_ = -1;
    }
    return text();
}

} // namespace rdrload::testing
