// rdrload-host: a small host program for librdrload.so. It loads the
// library with dlopen, finds the exports by name and calls them, printing
// every result; its exit status is the result of the operation it ran.

#include "RdrloadLibrary.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

constexpr int kUsageError = 64;
constexpr int kLibraryError = 69;

void printUsage(std::FILE *out)
{
    std::fputs("usage: rdrload-host [--library PATH] load FILE\n"
               "  load FILE   LoadBuffer_ the file, print its size and FNV-1a checksum,\n"
               "              FreeBuffer_ it; the exit status is LoadBuffer_'s result\n"
               "  --library   the library to load (default: ../lib/librdrload.so beside\n"
               "              this program)\n",
               out);
}

// ../lib/librdrload.so from the folder of this executable.
std::string defaultLibraryPath()
{
    char self[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return "librdrload.so";
    std::string path(self, static_cast<std::size_t>(length));
    return path.substr(0, path.rfind('/')) + "/../lib/librdrload.so";
}

uint32_t fnv1a(const unsigned char *data, unsigned long size)
{
    uint32_t hash = 2166136261u;
    for (unsigned long i = 0; i < size; ++i) {
        hash ^= data[i];
        hash *= 16777619u;
    }
    return hash;
}

int runLoad(RdrloadLibrary &library, std::string file)
{
    std::printf("OpenSession_: %d\n", library.OpenSession_());
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    const int result = library.LoadBuffer_(file.data(), &buffer, &size, nullptr);
    std::printf("LoadBuffer_: %d\n", result);
    if (result == 0) {
        std::printf("size: %lu\n", size);
        std::printf("fnv1a: 0x%08x\n", fnv1a(buffer, size));
        std::printf("FreeBuffer_: %d\n", library.FreeBuffer_(buffer));
    }
    std::printf("CloseSession_: %d\n", library.CloseSession_());
    return result;
}

} // namespace

int main(int argc, char **argv)
{
    std::string libraryPath = defaultLibraryPath();
    int next = 1;
    if (next + 1 < argc && std::string(argv[next]) == "--library") {
        libraryPath = argv[next + 1];
        next += 2;
    }
    if (argc - next != 2 || std::string(argv[next]) != "load") {
        printUsage(stderr);
        return kUsageError;
    }

    RdrloadLibrary library;
    std::string error;
    if (!library.load(libraryPath, error)) {
        std::fprintf(stderr, "rdrload-host: cannot use %s: %s\n", libraryPath.c_str(),
                     error.c_str());
        return kLibraryError;
    }
    return runLoad(library, argv[next + 1]);
}
