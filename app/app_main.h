// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/main_window.h"
#include "devices/keyer.h"
#include "platform/audio_out.h"

#include <functional>
#include <memory>

namespace vesk {

// Makes the beacon session of `state` on the sound output `makeAudio` gives, its keyers made by
// `keyers`, on a thread of its own or the caller's (tests), and the view that shows it on the
// main window's controls.
void attachResources(MainWindow& state,
                     std::function<std::unique_ptr<platform::AudioOut>()> makeAudio,
                     KeyerOpener keyers, SessionHost::Thread thread = SessionHost::Thread::Own);

// Reads the PTT port from the settings file in `folder` into state.settings and fixes the
// file's path for the run. A file that is there but cannot be read leaves the port at 0: the
// main window reports it and never writes over it.
void loadSettings(MainWindow& state, const std::string& folder);

// The program: reads the settings, builds and runs the main window, returns the exit code 0,
// also when SIGHUP, SIGINT or SIGTERM ended it.
int appMain(int argc, char** argv);

} // namespace vesk
