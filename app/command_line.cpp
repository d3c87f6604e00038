// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/command_line.h"

#include "platform/user_folders.h"

#include "vesk_version.h"

#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string_view>

namespace vesk {

namespace {

constexpr const char* kUsage = R"(Usage: vesk-controller [OPTION]...
Paint a radio beacon pattern, play it through the sound card every repeat interval and key
the transmitter (PTT) through a serial port's DTR and RTS lines.

Options:
  --desktop    keep the PTT port setting (VESK_COMPORT.INI) in ~/.local/share/vesk
               (or $XDG_DATA_HOME/vesk) instead of the folder the program starts in;
               the desktop menu entry starts the program this way
  --help       show this text and exit
  --version    show the version and exit

Qt's own options (-platform NAME, -display NAME, -style NAME, -geometry WxH+X+Y, -reverse)
are passed on to Qt. Exit status: 0 when the window is closed (also after SIGHUP, SIGINT or
SIGTERM), 2 after a wrong option. The manual: man vesk-controller, or Help > Help (F1).
)";

// Qt's options that take a value, and those that do not.
constexpr std::string_view kQtOptionsWithValue[] = {
    "-platform", "-platformpluginpath", "-platformtheme", "-display",     "-style",  "-stylesheet",
    "-geometry", "-qwindowgeometry",    "-qwindowtitle",  "-qwindowicon", "-session"};
constexpr std::string_view kQtFlags[] = {"-reverse", "-nograb", "-dograb", "-sync"};

template <std::size_t N> bool among(std::string_view arg, const std::string_view (&list)[N]) {
    for (const std::string_view name : list) {
        if (arg == name || (name.size() > 2 && arg.size() > 1 && arg.substr(1) == name)) {
            return true; // Qt also takes --platform for -platform
        }
    }
    return false;
}

} // namespace

int readCommandLine(int argc, const char* const* argv, StartOptions& options, std::ostream& out,
                    std::ostream& err) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            out << kUsage;
            return 0;
        }
        if (arg == "--version") {
            out << "vesk-controller " VESK_VERSION "\n";
            return 0;
        }
        if (arg == "--desktop") {
            options.desktop = true;
        } else if (among(arg, kQtOptionsWithValue)) {
            if (i + 1 >= argc) {
                err << "vesk-controller: " << arg
                    << " needs a value (see vesk-controller --help)\n";
                return 2;
            }
            ++i;
        } else if (!among(arg, kQtFlags)) {
            err << "vesk-controller: "
                << (arg.starts_with('-') ? "unknown option" : "unexpected argument") << " \"" << arg
                << "\" (see vesk-controller --help)\n";
            return 2;
        }
    }
    return -1;
}

Result<std::string> settingsFolder(const StartOptions& options) {
    namespace fs = std::filesystem;
    std::error_code failure;
    if (!options.desktop) {
        return fs::current_path(failure).string();
    }
    const fs::path folder = platform::userFolder("XDG_DATA_HOME", ".local/share");
    if (folder.empty()) {
        return fs::current_path(failure).string();
    }
    fs::create_directories(folder, failure);
    if (failure) {
        return fail("Cannot create the folder \"" + folder.string() + "\": " + failure.message());
    }
    return folder.string();
}

} // namespace vesk
