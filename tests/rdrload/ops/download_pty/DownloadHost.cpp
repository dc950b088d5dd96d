// download-host: a host program for the end-to-end download tests. It loads
// librdrload.so with dlopen, as host programs do, reads an image file and
// runs ApplicationDL_, ApplicationDL_Lent_ or FirmwareDL_ on a COM port,
// printing every progress report and the result:
//   report <done> <remaining> <text>
//   result <n>
// usage: download-host LIBRARY app|slow|firmware COM IMAGE [HEADER-FLAG]

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct ProgressInfo {
    unsigned done;
    unsigned remaining;
    unsigned *nextReport;
    const char *text;
    unsigned threadId;
};

using Download = int (*)(unsigned char *, unsigned long, unsigned char, int, void (*)(void *));

void printReport(void *info)
{
    const auto *progress = static_cast<const ProgressInfo *>(info);
    std::string text = progress->text;
    // One line per report: the texts' own line ends become "\n".
    std::string shown;
    for (char c : text)
        shown += c == '\n' ? std::string("\\n") : std::string(1, c);
    std::printf("report %u %u %s\n", progress->done, progress->remaining, shown.c_str());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 5 || argc > 6) {
        std::fprintf(stderr, "usage: download-host LIBRARY app|slow|firmware COM IMAGE [FLAG]\n");
        return 64;
    }
    void *library = ::dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "download-host: %s\n", ::dlerror());
        return 69;
    }
    const std::string operation = argv[2];
    const char *name = operation == "app"    ? "ApplicationDL_"
                       : operation == "slow" ? "ApplicationDL_Lent_"
                                             : "FirmwareDL_";
    auto download = reinterpret_cast<Download>(::dlsym(library, name));
    if (download == nullptr) {
        std::fprintf(stderr, "download-host: no %s\n", name);
        return 69;
    }
    std::ifstream in(argv[4], std::ios::binary);
    std::vector<unsigned char> image((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    const int flag = argc == 6 ? std::atoi(argv[5]) : 0;
    const int result = download(image.data(), image.size(),
                                static_cast<unsigned char>(std::atoi(argv[3])), flag, printReport);
    std::printf("result %d\n", result);
    return 0;
}
