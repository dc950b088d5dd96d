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
    std::string acknowledging;
    for (int i = 0; i < 120; ++i)
        acknowledging += std::string("\x01\x06", 2);
    const std::string readers[] = {
        acknowledging,
        std::string("\x01\x15", 2), // NAK at once
        std::string("\x08READY\x06\x06\x06", 9),
    };
    int written = 0;
    for (int op = 0; op < kOpCount; ++op) {
        for (unsigned char sizeByte : {0x00, 0x01, 0x41, 0x10}) {
            for (const std::string &reader : readers) {
                const std::string seed = std::string{char(op), char(sizeByte)} + reader;
                std::ofstream out(std::string(argv[1]) + "/seed-" + std::to_string(written++),
                                  std::ios::binary);
                out << seed;
            }
        }
    }
    return 0;
}
