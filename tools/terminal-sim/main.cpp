// terminal-sim: a simulated terminal on a pseudo-terminal, for loading
// databases without hardware and for testing the loader against a terminal
// that misbehaves on demand.

#include "MisbehaviourPlan.h"
#include "TerminalSimulator.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char *const kUsage =
    "Usage: terminal-sim [options]\n"
    "\n"
    "Simulates a terminal that receives a database load over a serial line. It\n"
    "opens a pseudo-terminal, prints the path of its serial end (the port the\n"
    "loader opens, such as /dev/pts/3) as the first line on standard output,\n"
    "and answers every load until it is stopped with SIGTERM or SIGINT, which\n"
    "end it cleanly (exit status 0).\n"
    "\n"
    "  --device PATH         serve the serial device PATH (a USB gadget's\n"
    "                        /dev/ttyGS0, whose host end is /dev/ttyACM0)\n"
    "                        instead of a new pseudo-terminal; its path is\n"
    "                        the first line printed\n"
    "\n"
    "Output:\n"
    "  --out PATH            write each database received whole to PATH (written\n"
    "                        beside it as PATH.part and renamed into place); \"%n\"\n"
    "                        in PATH stands for the load number (1, 2, ...)\n"
    "  --log PATH            write every frame received and sent, and what the\n"
    "                        terminal made of it, to PATH, one line each\n"
    "  --loads N             exit after N loads have been received whole\n"
    "                        (default 0: serve until stopped)\n"
    "  --pad N               answer only frames addressed to PAD N (0 to 15);\n"
    "                        by default every PAD is answered with its own\n"
    "  --quiet-ms MS         silence that ends a command whose length the\n"
    "                        protocol does not give (default 300)\n"
    "\n"
    "Misbehaviours. Replies are numbered within each load: 1 is the\n"
    "initialisation reply, 2 the request reply, 2+K the reply to data block K;\n"
    "REPLY may also be init, request, end (the ending reply) or data (every\n"
    "reply to a data block). Blocks are the data frames of a load, counted\n"
    "from 1.\n"
    "  --silent              never answer\n"
    "  --wrong-byte REPLY:I[:V]\n"
    "                        send byte I of that reply as V (0-255, 0x.. allowed;\n"
    "                        default: the right byte with every bit inverted)\n"
    "  --short-reply REPLY:N send only the first N bytes of that reply (0: none)\n"
    "  --nack K:TEXT         answer data block K with a NACK carrying TEXT\n"
    "                        (06 00 <length> TEXT); the block is not kept\n"
    "  --incomplete-nack K   answer data block K with an incomplete NACK (06 00 00)\n"
    "  --refuse K            refuse data block K (0x15); the block is not kept\n"
    "  --no-ending-reply     never answer the ending frame (the database still\n"
    "                        counts as received and is written)\n"
    "  --delay MS            wait MS milliseconds before every reply\n"
    "  --ack-length N        acknowledge accepted blocks with 05 and N-1 zero\n"
    "                        bytes (default 1: 05 alone, as the terminal does;\n"
    "                        255 fills the loader's read at once)\n"
    "  --split-reply REPLY:N:MS\n"
    "                        send the first N bytes of that reply, then the rest\n"
    "                        MS milliseconds later\n"
    "  --hangup K            at data block K, drop the line as an unplugged\n"
    "                        terminal would, then exit\n"
    "  --on-load N           apply the misbehaviours to load N only (default: all)\n"
    "\n"
    "  --help                show this text\n"
    "\n"
    "Options take their value as the next word or after \"=\" (--delay=100).\n"
    "Exit status: 0 when stopped, after --loads or after a hang-up; 1 when the\n"
    "pseudo-terminal or a file cannot be used; 2 for a wrong option.\n";

bool parseInt(const std::string &text, long min, long max, long &value)
{
    if (text.empty())
        return false;
    errno = 0;
    char *end = nullptr;
    long parsed = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || parsed < min || parsed > max)
        return false;
    value = parsed;
    return true;
}

int usageError(const std::string &message)
{
    std::fprintf(stderr, "terminal-sim: %s\nTry terminal-sim --help.\n", message.c_str());
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    SimulatorSettings settings;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg.compare(0, 2, "--") != 0)
            return usageError("unexpected argument " + arg);
        std::string name = arg.substr(2), value;
        bool inlineValue = false;
        size_t equals = name.find('=');
        if (equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.erase(equals);
            inlineValue = true;
        }
        bool own = name == "out" || name == "log" || name == "device" || name == "loads" ||
                   name == "pad" || name == "quiet-ms";
        bool takesValue = own || MisbehaviourPlan::optionTakesValue(name);
        if (!own && !MisbehaviourPlan::isOption(name))
            return usageError("unknown option --" + name);
        if (takesValue && !inlineValue) {
            if (i + 1 >= argc)
                return usageError("--" + name + " needs a value");
            value = argv[++i];
        } else if (!takesValue && inlineValue) {
            return usageError("--" + name + " takes no value");
        }
        long n = 0;
        std::string error;
        if (name == "out") {
            settings.outPath = value;
        } else if (name == "device") {
            settings.devicePath = value;
        } else if (name == "log") {
            settings.logPath = value;
        } else if (name == "loads") {
            if (!parseInt(value, 0, INT_MAX, n))
                return usageError("--loads wants a number from 0");
            settings.loads = int(n);
        } else if (name == "pad") {
            if (!parseInt(value, 0, 15, n))
                return usageError("--pad wants a number from 0 to 15");
            settings.pad = int(n);
        } else if (name == "quiet-ms") {
            if (!parseInt(value, 1, 60000, n))
                return usageError("--quiet-ms wants milliseconds from 1 to 60000");
            settings.quietMs = unsigned(n);
        } else if (!settings.plan.applyOption(name, value, error)) {
            return usageError(error);
        }
    }
    TerminalSimulator simulator(settings);
    return simulator.run(stdout);
}
