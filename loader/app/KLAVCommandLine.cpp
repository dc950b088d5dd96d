#include "KLAVCommandLine.h"

#include "KLAVConsoleLoad.h"
#include "base/KLAVLog.h"
#include "base/KLAVVisibleText.h"
#include "platform/NativeFile.h"

#include <QFile>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <iterator>

namespace {

// Why path is not a regular file that can be opened for reading; None when
// it is. A folder is refused too, as opening one for reading fails on
// Windows; a FIFO or a device is refused without waiting on it.
FileProblem databaseFileProblem(const std::string &path)
{
    QFile file;
    FileProblem problem = FileProblem::None;
    (void)openRegularFile(QByteArray::fromStdString(path), file, &problem);
    return problem;
}

} // namespace

std::vector<std::string> programArguments(int argc, char *argv[])
{
    // Qt's own options, with and without a value ("-x value", "-x=value").
    static const char *const withValue[] = {"platform",
                                            "platformpluginpath",
                                            "platformtheme",
                                            "plugin",
                                            "qwindowgeometry",
                                            "geometry",
                                            "qwindowtitle",
                                            "title",
                                            "qwindowicon",
                                            "icon",
                                            "session",
                                            "display",
                                            "name",
                                            "style",
                                            "stylesheet",
                                            "qmljsdebugger"};
    static const char *const flags[] = {"reverse", "widgetcount", "testability",
                                        "nograb",  "dograb",      "sync"};
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) {
        std::string word = argv[i];
        if (i == 0 || word.size() < 2 || word[0] != '-') {
            args.push_back(word);
            continue;
        }
        std::string option = word.substr(word[1] == '-' ? 2 : 1); // Qt takes -x and --x
        const bool joined = option.find('=') != std::string::npos;
        option = option.substr(0, option.find('='));
        const auto named = [&option](const char *name) { return option == name; };
        if (std::any_of(std::begin(flags), std::end(flags), named) && !joined)
            continue;
        if (std::any_of(std::begin(withValue), std::end(withValue), named)) {
            if (!joined && i + 1 == argc) {
                // Its value never came: Qt would stop the program on it, so
                // it stays a word of the command line and is refused there.
                args.push_back(word);
                continue;
            }
            if (!joined)
                ++i; // its value follows
            continue;
        }
        args.push_back(word);
    }
    return args;
}

long parsePadNumber(const std::string &text)
{
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        if (value > (LONG_MAX - 9) / 10) {
            value = LONG_MAX; // far outside any accepted range
            break;
        }
        value = value * 10 + (text[i] - '0');
    }
    return negative ? -value : value;
}

void putInstructions()
{
    const KLAVLogScope scope("putInstructions");
    std::printf("\nTo use the program, type: KLAVCharger arg1 arg2 [arg3]");
    std::printf("\nwhere:");
    std::printf("\n\targ1            : path to the database file (format .db)");
    std::printf("\n\targ2            : name of the COM port (for example: COM6), or 'PCSC' ");
    std::printf("\n\targ3 (optional) : PAD number of the terminal (in [0-14], 2 by default)");
    std::printf("\nType: 'KLAVCharger -?' for help\n");
}

KLAVExitStatus analyzeArgs(std::vector<std::string> args)
{
    const KLAVLogScope scope("analyzeArgs");
    const size_t n = args.size();
    if (n < 2 || n > 4) {
        writeLog(LOG_ERROR, "Invalid number of arguments");
        std::printf("\nInvalid number of arguments\n");
        putInstructions();
        std::printf("\nResult code : %d", exitCode(KLAVExitStatus::ARGS_INVALID));
        return KLAVExitStatus::ARGS_INVALID;
    }
    if (n == 2) {
        if (args[1] != "-?") {
            writeLog(LOG_ERROR, "Two arguments are passed. Second argument : %s, not -?",
                     args[1].c_str());
            std::printf("\nInvalid arguments");
            std::printf("\nResult code : %d", exitCode(KLAVExitStatus::ARGS_INVALID));
        }
        putInstructions();
        return KLAVExitStatus::ARGS_INVALID;
    }

    std::string pad = "2";
    if (const FileProblem problem = databaseFileProblem(args[1]); problem != FileProblem::None) {
        writeLog(LOG_ERROR, "Database file %s", fileProblemText(problem));
        std::printf("\nDatabase file %s\n", fileProblemText(problem));
        putInstructions();
        std::printf("\nResult code : %d", exitCode(KLAVExitStatus::ARGS_DATABASE_MISSING));
        return KLAVExitStatus::ARGS_DATABASE_MISSING;
    }
    if (n == 4) {
        const long value = parsePadNumber(args[3]);
        if (value < 1 || value > 14) {
            writeLog(LOG_ERROR, "Invalid PAD number, it must be between 1 and 14");
            std::printf("\nInvalid PAD number, it must be between 1 and 14\n");
            putInstructions();
            std::printf("\nResult code : %d", exitCode(KLAVExitStatus::ARGS_INVALID_PAD));
            return KLAVExitStatus::ARGS_INVALID_PAD;
        }
        pad = args[3];
    }

    std::printf("\n\nParameters: ");
    std::printf("\n\tDatabase file : %s", consoleVisible(args[1]).c_str());
    std::printf("\n\tPort name : %s", consoleVisible(args[2]).c_str());
    std::printf("\n\tPAD number : %s\n", consoleVisible(pad).c_str());
    std::fflush(stdout);

    const KLAVExitStatus status = cmdExec(args[1], args[2], pad);

    std::printf("\n");
    std::printf("\nResult code : %d", exitCode(status));
    return status;
}
