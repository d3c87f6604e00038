// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/main_window.h"
#include "app/parameter_fields.h"
#include "tone/clock_timing.h"

#include <cstdint>
#include <string>

namespace vesk {

// The main window's commands, each run with the id it came by; the routing table in
// main_window.cpp decides which command an id runs.
using Command = void (*)(MainWindow& state, std::int32_t command);

// The pen radios 1111..1115: the level of new dots.
void choosePen(MainWindow& state, std::int32_t command);
void resetCommand(MainWindow& state, std::int32_t command);
// Ctrl+Z (id::kUndo) and Ctrl+Y (id::kRedo).
void undoOrRedoCommand(MainWindow& state, std::int32_t command);
void turnOnOffCommand(MainWindow& state, std::int32_t command);
// Escape: the close request, run inside this command.
void closeCommand(MainWindow& state, std::int32_t command);
void openCommand(MainWindow& state, std::int32_t command);
// File > "Generate pattern...": a pattern made from text comes in as a loaded one does, but
// counts as unsaved work.
void generatePatternCommand(MainWindow& state, std::int32_t command);
// View > "Preview": the pattern as a grabber would show it; the pattern does not change.
void previewCommand(MainWindow& state, std::int32_t command);
void savePatternCommand(MainWindow& state, std::int32_t command);
void saveScriptCommand(MainWindow& state, std::int32_t command);
void saveWaveCommand(MainWindow& state, std::int32_t command);
void comportCommand(MainWindow& state, std::int32_t command);
void soundcardCommand(MainWindow& state, std::int32_t command);
// When transmissions start: at the repeat interval or on the UTC clock (from the next Turn On).
void timingCommand(MainWindow& state, std::int32_t command);
// PTT > "PTT options...": how the transmitter is keyed.
void pttOptionsCommand(MainWindow& state, std::int32_t command);
void mixerCommand(MainWindow& state, std::int32_t command);
void audioDevicesCommand(MainWindow& state, std::int32_t command);
void aboutCommand(MainWindow& state, std::int32_t command);

// The close box: asks before unsaved work goes; true when the window stays (for now).
bool closeRequest(MainWindow& state);

// Output level scroll bar 1003: `code` is the scroll request, `position` the thumb's.
void onOutputLevelScroll(MainWindow& state, std::uint32_t code, std::uint32_t position);
// Left (paint) or right (erase) mouse button in the grid; the change is one undo step.
void editSlot(MainWindow& state, std::uint32_t message, std::int32_t lParam);

// The title: the pattern file's name ("(no file)" for a pattern that no file holds), then the
// notes playback adds (state.titleNotes).
void showTitle(const MainWindow& state);
// True while a pattern's own timing (a WSPR pattern's two-minute grid) applies instead of the
// operator's.
bool patternTimingApplies(const MainWindow& state);

// Keeps the views in step with the document: state.document's listener.
void showDocumentChange(MainWindow& state, const PatternChange& change);
// The operator's timing: playback goes by it from the next Turn On, and the settings remember it.
void useClockTiming(MainWindow& state, const ClockTiming& timing);

// Reads the pattern file at `path` as "Open pattern file" does (no question about unsaved work).
void openPatternPath(MainWindow& state, const std::string& path);
// Shows state.outputLevel (kept within 0..100) on the scroll bar and its readout.
void showOutputLevel(MainWindow& state);
// Rebuilds the pattern views.
void redraw(const MainWindow& state);
// Puts the keyboard focus where Return does no harm: the radio of the pen in use.
void restFocus(const MainWindow& state);

} // namespace vesk
