// rdrload: drives card readers from a shell through librdrload. It loads
// the library by name (dlopen, LoadLibraryA on Windows) as any host program does and offers each
// export as a subcommand; see `rdrload --help` and `rdrload CMD --help`.
// The exit statuses are listed in ResultText.h and docs/rdrload.md.

#include "HostPlatform.h"
#include "RdrloadLibrary.h"
#include "ResultText.h"
#include "Subcommands.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

void printOverview(std::FILE *out)
{
    std::fputs("usage: rdrload [--library PATH] COMMAND [ARGUMENTS] [--help]\n\n"
               "Commands (rdrload COMMAND --help tells more):\n",
               out);
    for (const Subcommand &command : subcommands())
        std::fprintf(out, "  %-12s %s\n", command.name, command.synopsis);
    std::fputs("\n--library  the library to load (default: ../lib/librdrload.so.1 beside this\n"
               "           program when it is there, else librdrload.so.1 through the\n"
               "           dynamic loader's search path)\n"
               "Progress shows as a bar on a terminal and as lines \"progress: DONE REMAINING\n"
               "TEXT\" otherwise; each command ends with the export's result and its label.\n"
               "Exit status: 0 success; 1 to 18 the library's result code (1 OPEN_COM_PORT,\n"
               "2 COM_ERROR, 3 FILE_ERROR, 5 SIGNATURE_ERROR, 6 TIMEOUT_ERROR, 7 WRITE_ERROR,\n"
               "8 NACK_ERROR, 10 PARAMETER_ERROR, 11 DATA_SIZE_ERROR, 12 NULL_BUFFER,\n"
               "18 OTHER_ERROR); 19 update refused; 64 wrong command line; 65 input refused;\n"
               "69 library or export not available; 70 undocumented result; 73 output file\n"
               "not written.\n",
               out);
}

bool wantsHelp(const std::vector<std::string> &arguments)
{
    for (const std::string &argument : arguments) {
        if (argument == "--help" || argument == "-h")
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    std::string libraryPath;
    if (arguments.size() >= 2 && arguments[0] == "--library") {
        libraryPath = arguments[1];
        arguments.erase(arguments.begin(), arguments.begin() + 2);
    }
    if (arguments.empty() || arguments[0] == "--help" || arguments[0] == "-h") {
        printOverview(arguments.empty() ? stderr : stdout);
        return arguments.empty() ? exitstatus::kUsage : 0;
    }
    const Subcommand *command = findSubcommand(arguments[0]);
    if (command == nullptr) {
        std::fprintf(stderr, "rdrload: unknown command %s\n", arguments[0].c_str());
        printOverview(stderr);
        return exitstatus::kUsage;
    }
    arguments.erase(arguments.begin());
    if (wantsHelp(arguments)) {
        printSubcommandHelp(*command, stdout);
        return 0;
    }

    if (libraryPath.empty())
        libraryPath = defaultLibraryPath();
    RdrloadLibrary library;
    std::string error;
    if (!library.load(libraryPath, error)) {
        std::fprintf(stderr, "rdrload: cannot use %s: %s\n", libraryPath.c_str(), error.c_str());
        return exitstatus::kUnavailable;
    }
    HostContext host{library, stdout, stderr, outputIsTerminal()};
    const int status = command->run(host, arguments);
    std::fflush(stdout);
    return status;
}
