// Writes the default configuration file into the folder given, as a seed
// for the configuration fuzzer.

#include "base/KLAVConfig.h"

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s SEED_FOLDER\n", argv[0]);
        return 2;
    }
    return createConfigFile(std::string(argv[1]) + "/default.ini") ? 0 : 1;
}
