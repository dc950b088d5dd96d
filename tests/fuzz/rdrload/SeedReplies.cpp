// Writes seeds for the rdrload fuzz target into the folder given: for each
// operation and a few image sizes, a reader that acknowledges everything,
// one that refuses at once and one that answers with text.

#include "ReplyScript.h"

#include <cstdio>
#include <fstream>
#include <string>

using namespace rdrload::testing;

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s SEED_FOLDER\n", argv[0]);
        return 2;
    }
    const std::string replies[] = {
        std::string(),
        std::string("\x01\x15", 2),
        std::string("\x08"
                    "READY\x06\x06\x06",
                    9),
    };
    int written = 0;
    for (int op = 0; op < kOpCount; ++op) {
        for (unsigned char sizeByte : {0x00, 0x01, 0x41, 0x10}) {
            for (int kind = 0; kind < 3; ++kind) {
                std::string seed{char(op), char(sizeByte)};
                if (kind == 0)
                    for (int i = 0; i < 120; ++i)
                        seed += std::string("\x01\x06", 2);
                else
                    seed += replies[kind];
                std::ofstream out(std::string(argv[1]) + "/seed-" + std::to_string(written++),
                                  std::ios::binary);
                out << seed;
            }
        }
    }
    return 0;
}
