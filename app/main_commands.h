// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/app_state.h"

#include <cstdint>
#include <string>

namespace vesk {

// The main window's commands, each run with the id it came by; the routing table in
// main_window.cpp decides which command an id runs.
using Command = void (*)(AppState& state, std::int32_t command);

// The pen radios 1111..1115: the level of new dots.
void choosePen(AppState& state, std::int32_t command);
// An "Apply" beside a parameter field: reads the field into the pattern.
void applyParameterCommand(AppState& state, std::int32_t command);
// Return: in a parameter field it applies the field; elsewhere it does nothing.
void applyFocusedField(AppState& state, std::int32_t command);
void resetCommand(AppState& state, std::int32_t command);
// Ctrl+Z (id::kUndo) and Ctrl+Y (id::kRedo).
void undoOrRedoCommand(AppState& state, std::int32_t command);
void turnOnOffCommand(AppState& state, std::int32_t command);
// Escape: the close request, run inside this command.
void closeCommand(AppState& state, std::int32_t command);
void openCommand(AppState& state, std::int32_t command);
// File > "Generate pattern...": a pattern made from text comes in as a loaded one does, but
// counts as unsaved work.
void generatePatternCommand(AppState& state, std::int32_t command);
// View > "Preview": the pattern as a grabber would show it; the pattern does not change.
void previewCommand(AppState& state, std::int32_t command);
void savePatternCommand(AppState& state, std::int32_t command);
void saveScriptCommand(AppState& state, std::int32_t command);
void saveWaveCommand(AppState& state, std::int32_t command);
void comportCommand(AppState& state, std::int32_t command);
void soundcardCommand(AppState& state, std::int32_t command);
// When transmissions start: at the repeat interval or on the UTC clock (from the next Turn On).
void timingCommand(AppState& state, std::int32_t command);
// PTT > "PTT options...": how the transmitter is keyed.
void pttOptionsCommand(AppState& state, std::int32_t command);
void mixerCommand(AppState& state, std::int32_t command);
void audioDevicesCommand(AppState& state, std::int32_t command);
void aboutCommand(AppState& state, std::int32_t command);

// The close box: asks before unsaved work goes; true when the window stays (for now).
bool closeRequest(AppState& state);

// Output level scroll bar 1003: `code` is the scroll request, `position` the thumb's.
void onOutputLevelScroll(AppState& state, std::uint32_t code, std::uint32_t position);
// Left (paint) or right (erase) mouse button in the grid; the change is one undo step.
void editSlot(AppState& state, std::uint32_t message, std::int32_t lParam);

// Reads the pattern file at `path` as "Open pattern file" does (no question about unsaved work).
void openPatternPath(AppState& state, const std::string& path);
// Shows state.outputLevel (kept within 0..100) on the scroll bar and its readout.
void showOutputLevel(AppState& state);
// Writes the five parameters into their fields.
void showParameters(const AppState& state);
// Rebuilds the pattern views.
void redraw(const AppState& state);
// Puts the keyboard focus where Return does no harm: the radio of the pen in use.
void restFocus(const AppState& state);

} // namespace vesk
