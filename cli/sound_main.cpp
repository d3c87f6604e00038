// SPDX-License-Identifier: GPL-3.0-or-later
// vesk-cli play and devices: vesk-cli hands these two commands over to this program with its
// own arguments, having checked them already.

#include "cli/cli.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    using namespace vesk::cli;
    const std::vector<std::string> args(argv + 1, argv + argc);
    Options options;
    std::string error;
    if (!parseOptions(args, options, error) ||
        (options.command == "play" && options.positional.size() != 1)) {
        std::fprintf(stderr, "vesk-cli: %s (see vesk-cli --help)\n",
                     error.empty() ? "play takes 1 argument(s)" : error.c_str());
        return 1;
    }
    if (options.command == "play") {
        return runPlay(options, argc, argv);
    }
    if (options.command == "devices") {
        return runDevices(argc, argv);
    }
    std::fprintf(stderr, "vesk-cli: unknown command \"%s\" (see vesk-cli --help)\n",
                 options.command.c_str());
    return 1;
}
