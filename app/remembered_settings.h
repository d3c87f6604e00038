// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/app_state.h"

namespace vesk {

// The settings the window keeps from one run to the next (state.stationSettingsPath): the
// sound output by name, the output level, the last pattern file, the PTT choice and the clock
// timing. The PTT port number keeps its own file.

// Reads the file into `state`, the PTT choice at once so that the first open keys the way it
// says. A file that cannot be read is reported and then left alone for the whole run.
void readRememberedSettings(AppState& state);

// Puts the rest to use once the window's controls stand: the output level, the sound output
// (the system default, with a notice, when it has gone), the clock timing and the last
// pattern file when it is still there.
void applyRememberedSettings(AppState& state);

// The settings as the window holds them now.
StationSettings currentSettings(const AppState& state);

// Writes the file when a setting changed since it was last read or written; a failure is
// reported once, unless `report` is false (on the way out nobody is left to tell). Nothing is
// written before applyRememberedSettings has run: a program ended during its start-up notices
// leaves the file as it was.
void rememberSettings(AppState& state, bool report = true);

} // namespace vesk
