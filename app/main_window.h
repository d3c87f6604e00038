// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/app_state.h"
#include "app/control_ids.h"
#include "ui/toolkit.h"
#include "vesk_version.h"

#include <cstdint>

namespace vesk {

// The question asked before unsaved work is discarded.
inline constexpr const char* kDiscardQuestion = "Discard the changes to the pattern?";

// Private message: the sound device went away while playing.
inline constexpr std::uint32_t kDeviceLostMessage = 0x8001;
// Private message: a PTT line change failed; the notice waits until playback's call returns.
inline constexpr std::uint32_t kPttFailureMessage = 0x8002;
// Private message: a transmission could not be written to the log.
inline constexpr std::uint32_t kLogFailureMessage = 0x8003;

inline constexpr std::int32_t kClientWidth = 810;
inline constexpr std::int32_t kClientHeight = 255;
inline constexpr const char* kMainCaption = "VESK Controller v" VESK_VERSION " (wave file version)";

// Creates the hidden main window with its icon, 39 controls and menu bar; stores its handle
// in state.mainWindow.
ui::Window createMainWindow(AppState& state);

// The main window's handler: routes every message to its owner.
ui::Handler mainWindowHandler(AppState& state);

// Start values, PTT port, fields and views; run on the initialisation message.
void initialiseMainWindow(AppState& state);

// Creates the main window and runs it modally until it is destroyed.
void buildMainWindow(AppState& state);

// What the program does on its way out, however it leaves: the lines released and the port
// closed, then the settings file written. Safe to run twice.
void shutdownMainWindow(AppState& state);

} // namespace vesk
