// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/app_state.h"
#include "devices/keyer.h"
#include "platform/audio_out.h"

#include <memory>

namespace vesk {

// Wires the playback sequencer, the PTT (its keyers made by `keyers`) and the audio output
// into `state`: the dot timer is the main window's timer 0, device notifications arrive as
// MM_WOM_* messages of the main window, and the sequencer draws on the main window's controls.
void attachResources(AppState& state, std::unique_ptr<platform::AudioOut> audio,
                     KeyerOpener keyers);

// Reads the PTT port from the settings file in `folder` into `state` and fixes the file's
// path for the run. A file that is there but cannot be read leaves the port at 0 and its
// reason in state.settingsError: the main window reports it and never writes over it.
void loadSettings(AppState& state, const std::string& folder);

// The program: reads the settings, builds and runs the main window, returns the exit code 0,
// also when SIGHUP, SIGINT or SIGTERM ended it.
int appMain(int argc, char** argv);

} // namespace vesk
