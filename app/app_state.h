// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/choice_box.h"
#include "devices/ptt_choice.h"
#include "devices/station_settings.h"
#include "platform/audio_out.h"
#include "session/beacon_session.h"
#include "tone/edit_history.h"
#include "tone/pattern.h"
#include "ui/toolkit.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vesk {

// The program's shared state: one instance for the whole run, owned by appMain and reached by
// the main window's handler. Fields keep the names the rest of the program uses for them.
struct AppState {
    // choiceText, choiceInitial, choiceWindow, choiceEndCode, choiceClosing, choiceResult.
    ChoiceBoxState choice;
    ui::Window mainWindow = 0;
    ui::Window soundcardWindow = 0;
    // The names of the sound outputs, read afresh for each soundcard selection; a test lists
    // its own instead of the sound system's.
    std::function<std::vector<std::string>()> outputDevices = platform::outputDevices;
    double pi = 0.0;
    std::int32_t amplitude = 0;      // peak sample value for level code 1, 0..32767
    std::int32_t penLevelCode = 0;   // 1, 2, 4, 8 or 16
    float currentGain = 0.0f;        // gain working value of the views
    float outputLevel = 0.0f;        // 0..100, 100 = 0 dB
    std::int32_t gridScroll = 0;     // track bar 1000, 0..3604
    std::int32_t soundcardIndex = 0; // -1: the system default output
    std::int32_t pttComport = 0;     // 0: none
    std::string patternFileName;     // bare name of the last pattern file loaded
    ui::Window levelScrollBar = 0;
    // toneIndex, levelCode and the five parameters.
    BeaconPattern pattern;
    // The pattern as last loaded or saved (the start pattern before that): what differs from
    // it is unsaved work.
    BeaconPattern keptPattern;
    // Undo and redo of grid edits and Reset.
    EditHistory history;
    // Full path of the file last opened or saved; the file dialogs start there.
    std::string lastFile;
    // The settings file's full path, fixed at start-up so that the file dialogs cannot move
    // it by changing the current directory.
    std::string settingsPath;
    // Why the settings file could not be read at start; empty when it could (or was missing).
    // A file that could not be read is left alone: the port is not written back.
    std::string settingsError;

    // How the transmitter is keyed (PTT > "PTT options..."); the port number stays above.
    PttChoice pttChoice;
    // The name of the sound output chosen last; empty: none was chosen by name.
    std::string soundOutputName;
    // Full path of the pattern file last opened or saved; reopened at the next start.
    std::string lastPatternFile;
    // The remembered settings' file; empty: nothing is read or written (a test sets its own).
    std::string stationSettingsPath;
    // Why that file could not be read at start: it is then never written in this run.
    std::string stationSettingsError;
    // The settings as last read or written, so that only a change writes the file.
    StationSettings rememberedSettings;
    bool settingsSaveFailed = false; // a failed write was reported
    // Set once the window shows what was read: a save before that would write half-set values.
    bool rememberedSettingsShown = false;
    // Where each transmission is logged; empty: no log (a test sets its own).
    std::string transmissionLogPath;

    // The beacon: sound output, keyer, log, dot timer and sequencer, shown by sessionView.
    std::unique_ptr<BeaconSession> session;
    std::unique_ptr<SessionView> sessionView;
};

} // namespace vesk
