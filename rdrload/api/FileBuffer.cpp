// LoadBuffer_ and FreeBuffer_: whole files read into buffers that belong to
// the caller until it hands them back.

#include "rdrload.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>

namespace {

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

struct BufferFree {
    void operator()(unsigned char *buffer) const { std::free(buffer); }
};
using BufferPtr = std::unique_ptr<unsigned char, BufferFree>;

// Only regular files are read: a directory has no bytes to give, and a FIFO
// or device could block the caller for ever. Nor is a file read that no
// operation could carry: its size is known before a byte is read.
bool isLoadableFile(const char *path)
{
    std::error_code error;
    const std::filesystem::path name(path);
    if (!std::filesystem::is_regular_file(name, error))
        return false;
    const std::uintmax_t size = std::filesystem::file_size(name, error);
    return !error && size <= RDRLOAD_LARGEST_IMAGE;
}

// The file's length, found by seeking to its end; -1 when it cannot be told.
long fileLength(std::FILE *file)
{
    if (std::fseek(file, 0, SEEK_END) != 0)
        return -1;
    long length = std::ftell(file);
    if (length < 0 || std::fseek(file, 0, SEEK_SET) != 0)
        return -1;
    return length;
}

} // namespace

extern "C" int LoadBuffer_(char *path, unsigned char **buffer, unsigned long *size,
                           void(__stdcall *)(void *))
{
    if (path == nullptr || buffer == nullptr || size == nullptr || !isLoadableFile(path))
        return FILE_ERROR;
    FilePtr file(std::fopen(path, "rb"));
    if (!file)
        return FILE_ERROR;
    long length = fileLength(file.get());
    // Measured again on the open file: it may have grown since it was looked at.
    if (length < 0 || static_cast<unsigned long long>(length) > RDRLOAD_LARGEST_IMAGE)
        return FILE_ERROR;
    const auto byteCount = static_cast<unsigned long>(length);
    // One byte at least, so that an empty file still yields a buffer.
    BufferPtr data(static_cast<unsigned char *>(std::malloc(byteCount > 0 ? byteCount : 1)));
    if (!data)
        return FILE_ERROR;
    // A file that gives fewer bytes than its length (it shrank, or it is a
    // kernel attribute file with a nominal size) must not hand back a buffer
    // whose end is garbage.
    if (std::fread(data.get(), 1, byteCount, file.get()) != byteCount)
        return FILE_ERROR;
    *size = byteCount;
    *buffer = data.release();
    return 0;
}

extern "C" int FreeBuffer_(unsigned char *buffer)
{
    std::free(buffer);
    return 0;
}
