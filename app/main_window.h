// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/app_state.h"
#include "app/control_ids.h"
#include "ui/toolkit.h"

#include <cstdint>

namespace vesk {

// The question asked before unsaved work is discarded.
inline constexpr const char* kDiscardQuestion = "Discard the changes to the pattern?";

inline constexpr std::int32_t kClientWidth = 810;
inline constexpr std::int32_t kClientHeight = 255;
inline constexpr const char* kMainCaption = "VESK Controller v1.09 (wave file version)";

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
