// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/choice_box.h"
#include "app/control_ids.h"
#include "app/session_host.h"
#include "devices/settings_store.h"
#include "platform/audio_out.h"
#include "session/beacon_session.h"
#include "tone/pattern_document.h"
#include "ui/toolkit.h"
#include "vesk_version.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vesk {

// The question asked before unsaved work is discarded.
inline constexpr const char* kDiscardQuestion = "Discard the changes to the pattern?";

inline constexpr std::int32_t kClientWidth = 810;
inline constexpr std::int32_t kClientHeight = 255;
inline constexpr const char* kMainCaption = "VESK Controller v" VESK_VERSION " (wave file version)";

// The main window's controller: one instance for the whole run, owned by appMain and reached
// by the main window's handler. It holds the window's own state, the pattern document it
// shows and edits, the settings store, and the resources playback owns.
struct MainWindow {
    // choiceText, choiceInitial, choiceWindow, choiceEndCode, choiceClosing, choiceResult.
    ChoiceBoxState choice;
    ui::Window mainWindow = 0;
    ui::Window soundcardWindow = 0;
    // The names of the sound outputs, read afresh for each soundcard selection; a test lists
    // its own instead of the sound system's.
    std::function<std::vector<std::string>()> outputDevices = platform::outputDevices;
    std::int32_t amplitude = 0;       // peak sample value for level code 1, 0..32767
    std::int32_t penLevelCode = 0;    // 1, 2, 4, 8 or 16
    float outputLevel = 0.0f;         // 0..100, 100 = 0 dB
    std::int32_t gridScroll = 0;      // track bar 1000, 0..3604
    std::int32_t soundcardIndex = -1; // the output in use: -1 the system default, else its index
    // What playback adds to the title after the file name ("[next: 14:02:01 UTC]").
    std::string titleNotes;

    // The pattern, its saved copy, its undo history and its files.
    PatternDocument document;
    // The PTT port number, the PTT choice and the rest that is remembered between runs.
    SettingsStore settings;

    // Where each transmission is logged; empty: no log (a test sets its own).
    std::string transmissionLogPath;
    // The beacon: sound output, keyer, log, dot timer and sequencer, on a thread of its own,
    // shown by sessionView.
    std::unique_ptr<SessionHost> session;
    std::unique_ptr<SessionView> sessionView;
};

// Creates the hidden main window with its icon, 39 controls and menu bar; stores its handle
// in state.mainWindow.
ui::Window createMainWindow(MainWindow& state);

// The main window's handler: routes every message to its owner.
ui::Handler mainWindowHandler(MainWindow& state);

// Start values, PTT port, fields and views; run on the initialisation message.
void initialiseMainWindow(MainWindow& state);

// Creates the main window and runs it modally until it is destroyed.
void buildMainWindow(MainWindow& state);

// What the program does on its way out, however it leaves: the lines released and the port
// closed, then the settings file written. Safe to run twice.
void shutdownMainWindow(MainWindow& state);

} // namespace vesk
