// Writes seeds for the load fuzz target into the folder given: a terminal
// that accepts the whole load, one that NACKs a block with a text, one that
// refuses the request.

#include "LoadReplies.h"
#include "ScriptedPort.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace {

void append(std::string &seed, const QByteArray &reply)
{
    seed += char(reply.size());
    seed.append(reply.constData(), std::size_t(reply.size()));
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s SEED_FOLDER\n", argv[0]);
        return 2;
    }
    const QByteArray init("\x2F\xC0", 2), request("\x2F\x40", 2), data("\x01", 1),
        ending("\x02\x00\x00", 3);
    const QByteArray nack("\x06\x00\x05"
                          "FULL!",
                          8);
    int written = 0;
    for (int pad : {2}) {
        const auto good = [pad](const QByteArray &command) {
            return ScriptedTerminal::wellBehaved(command, pad);
        };
        std::string whole, nacked, refused;
        for (std::string *seed : {&whole, &nacked, &refused})
            append(*seed, good(init));
        append(whole, good(request)), append(nacked, good(request));
        append(refused, QByteArray("\x00\x40\x02\x00\x01\x00\x00", 7));
        append(whole, good(data)), append(whole, good(data)), append(whole, good(ending));
        append(nacked, good(data)), append(nacked, nack);
        for (const std::string *seed : {&whole, &nacked, &refused}) {
            std::ofstream out(std::string(argv[1]) + "/seed-" + std::to_string(written++),
                              std::ios::binary);
            out << *seed;
        }
    }
    return 0;
}
