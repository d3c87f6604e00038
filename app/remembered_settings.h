// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/main_window.h"
#include "devices/settings_store.h"

#include <string>

namespace vesk {

// The window's side of what is remembered from one run to the next (state.settings): the
// sound output by name, the output level, the last pattern file, the PTT choice and the clock
// timing, and the PTT port number in its own file.

// The operator's notice of a problem of the settings store.
void showSettingsProblem(SettingsStore::Problem problem, const std::string& reason);

// Reads the settings file, the PTT choice at once so that the first open keys the way it
// says. A file that cannot be read is reported and then left alone for the whole run.
void readRememberedSettings(MainWindow& state);

// Puts the rest to use once the window's controls stand: the output level, the sound output
// (the system default, with a notice, when it has gone), the clock timing and the last
// pattern file when it is still there. From then on each change of a setting is written.
void applyRememberedSettings(MainWindow& state);

} // namespace vesk
