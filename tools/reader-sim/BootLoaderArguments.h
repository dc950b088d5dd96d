#pragma once

#include "BootLoaderSim.h"

#include <string>

namespace readersim {

// The command-line options of reader-sim's boot-loader mode:
//   --boot-loader ADDR    serve a boot loader whose image area starts at ADDR
//   --boot-output DIR     write image.bin, config.bin, boot.bin, registers.txt
//   --sync-answer none|0xHH, --lose-echo K, --lose-ack K, --fill ack|refuse,
//   --flash-answer checked|nak|none
class BootLoaderArguments {
public:
    static bool isOption(const std::string &name);
    // Takes one option and its value; false when the value is not valid.
    bool take(const std::string &name, const std::string &value);
    // Whether --boot-loader was given.
    bool enabled() const { return enabled_; }
    // Whether every option given can be used: the others need --boot-loader.
    bool complete() const { return enabled_ || !seen_; }
    const BootLoaderOptions &options() const { return options_; }
    static const char *usage();

private:
    BootLoaderOptions options_;
    bool enabled_ = false;
    bool seen_ = false;
};

} // namespace readersim
