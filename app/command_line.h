// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/result.h"

#include <iosfwd>
#include <string>

namespace vesk {

// What the command line asks of the window.
struct StartOptions {
    // Started from the desktop menu: the settings live in the user's data folder rather than
    // in whatever folder the launcher started the program in.
    bool desktop = false;
};

// Reads the program's own options before any window exists, so that --help and --version work
// without a display. Qt's options (-platform NAME and the like) are left for Qt. Returns -1 to
// go on, or the exit status: 0 after --help or --version (printed to `out`), 2 after a wrong
// option or argument (a message on `err`).
int readCommandLine(int argc, const char* const* argv, StartOptions& options, std::ostream& out,
                    std::ostream& err);

// The folder of the settings file: the start folder, or with `desktop` the user's data folder
// ($XDG_DATA_HOME/vesk, by default ~/.local/share/vesk), created when missing. Fails when it
// cannot be created: "Cannot create the folder \"<folder>\": " and the reason.
Result<std::string> settingsFolder(const StartOptions& options);

} // namespace vesk
