// Writes seeds for the discovery fuzz target into the folder given: a
// terminal with every attribute, one without serial number or product name,
// one whose uevent names its node.

#include <cstdio>
#include <fstream>
#include <string>

namespace {

std::string piece(const std::string &text)
{
    return std::string(1, char(text.size())) + text;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s SEED_FOLDER\n", argv[0]);
        return 2;
    }
    const std::string ids("\x0e\x6b\x00\x80", 4);
    const std::string seeds[] = {
        "\x1f" + ids + piece("1234ABCD\n") + piece("Velantra QX\n") +
            "MAJOR=166\nMINOR=0\nDEVNAME=ttyACM0\n",
        "\x13" + ids + piece("") + piece("") + "MAJOR=166\nMINOR=0\n",
        "\x1f" + ids + piece("00A1") + piece("QX") + "DEVNAME=ttyACM0\nDEVTYPE=tty\n",
    };
    int written = 0;
    for (const std::string &seed : seeds) {
        std::ofstream out(std::string(argv[1]) + "/seed-" + std::to_string(written++),
                          std::ios::binary);
        out << seed;
    }
    return 0;
}
