// SPDX-License-Identifier: GPL-3.0-or-later
// vesk-cli play, run, devices and release: vesk-cli hands these commands over to this program
// with its own arguments, having checked them already. release is here for the keyers (Hamlib
// and the serial lines), not for the sound.

#include "cli/cli.h"
#include "platform/stop_signals.h"

#include <cstdio>
#include <string>
#include <vector>

// Held already when vesk-cli hands over; held here too for a start of its own. play lets the
// stop signals through once its handler is in place, devices at once.
VESK_HOLD_STOP_SIGNALS_AT_LOAD();

int main(int argc, char** argv) {
    using namespace vesk::cli;
    const std::vector<std::string> args(argv + 1, argv + argc);
    const vesk::Result<Options> parsed = parseOptions(args);
    const bool oneArgument = parsed && (parsed->command == "play" || parsed->command == "run");
    if (!parsed || (oneArgument && parsed->positional.size() != 1)) {
        std::fprintf(stderr, "vesk-cli: %s (see vesk-cli --help)\n",
                     parsed ? (parsed->command + " takes 1 argument(s)").c_str()
                            : oneLine(parsed.message()).c_str());
        return 1;
    }
    const Options& options = *parsed;
    if (options.command == "play") {
        return runPlay(options, argc, argv);
    }
    if (options.command == "run") {
        return runRun(options, argc, argv);
    }
    if (options.command == "devices") {
        return runDevices(argc, argv);
    }
    if (options.command == "release") {
        return runRelease(options);
    }
    std::fprintf(stderr, "vesk-cli: unknown command \"%s\" (see vesk-cli --help)\n",
                 options.command.c_str());
    return 1;
}
