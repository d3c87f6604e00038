// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_commands.h"

#include "app/audio_tools.h"
#include "app/beacon_dialogs.h"
#include "app/comport_selection.h"
#include "app/control_ids.h"
#include "app/file_commands.h"
#include "app/main_window.h"
#include "app/pattern_views.h"
#include "app/ptt_messages.h"
#include "app/ptt_options_dialog.h"
#include "app/soundcard_selection.h"
#include "app/timing_dialog.h"
#include "app/window_waits.h"
#include "beacon/generator.h"
#include "files/number_reader.h"
#include "files/number_text.h"
#include "tone/pattern_stream.h"
#include "ui/messages.h"
#include "vesk_version.h"

#include <cmath>

namespace vesk {

namespace {

// True when nothing unsaved is in the way, or the operator agrees to discard it.
bool mayDiscardWork(const MainWindow& state) {
    if (!state.document.hasUnsavedWork()) {
        return true;
    }
    const bool discard =
        ui::messageBox(kDiscardQuestion, msg::MB_YESNO | msg::MB_ICONQUESTION | msg::MB_DEFBUTTON2,
                       "VESK Controller") == static_cast<int>(msg::IDYES);
    restFocus(state);
    return discard;
}

// A pattern that came in whole plays by the operator's timing, unless that is the repeat
// interval and the pattern is a WSPR one: then by the WSPR grid, for this pattern alone (the
// settings keep the operator's choice).
void adoptPatternTiming(MainWindow& state) {
    const ClockTiming& chosen = state.settings.clockTiming();
    state.session->setClockTiming(
        beacon::isWsprTiming(state.document.pattern()) && !chosen.onTheClock() ? kWsprTiming
                                                                               : chosen);
}

// A pattern that came in whole (loaded or generated): its timing, its title, the grid at its
// start, and its stream prepared with the title showing progress; playback, if running, goes
// on from the new samples at its current position. Nothing is rendered up front.
void showNewPattern(MainWindow& state) {
    adoptPatternTiming(state);
    showTitle(state);
    scrollGrid(state.mainWindow, kGridScrollOrigin, state.gridScroll);
    state.session->loadPattern(state.document.pattern(), state.amplitude);
}

// After a dialog: the focus goes back to the pen, unless the main window closed under it.
void restFocusIfOpen(const MainWindow& state) {
    if (ui::windowExists(state.mainWindow)) {
        restFocus(state);
    }
}

} // namespace

void showOutputLevel(MainWindow& state) {
    state.outputLevel = clampOutputLevel(state.outputLevel);
    state.amplitude = amplitudeForLevel(state.outputLevel);
    ui::scrollSetPos(state.mainWindow, id::kOutputLevel,
                     roundToInt32(static_cast<double>(state.outputLevel)), true);
    ui::controlSetText(state.mainWindow, id::kLevelReadout, levelReadout(state.outputLevel));
}

void showTitle(const MainWindow& state) {
    const std::string& name = state.document.patternFileName();
    ui::windowSetTitle(state.mainWindow, std::string(kTitlePrefix) +
                                             (name.empty() ? kNoFileName : name) +
                                             state.titleNotes);
}

bool patternTimingApplies(const MainWindow& state) {
    return state.session->clockTiming() != state.settings.clockTiming();
}

void redraw(const MainWindow& state) {
    redrawPatternViews(state.mainWindow, state.document.pattern(), state.penLevelCode);
}

void showDocumentChange(MainWindow& state, const PatternChange& change) {
    switch (change.kind) {
    case PatternChange::Kind::Slot:
        drawSlot(state.mainWindow, state.document.pattern(), change.slot, change.toneBefore,
                 change.levelBefore);
        break;
    case PatternChange::Kind::Parameters:
        // The field that set it shows it already.
        break;
    case PatternChange::Kind::Pattern:
        redraw(state);
        if (change.parameters) {
            showParameters(state);
        }
        break;
    case PatternChange::Kind::Saved:
        state.settings.setLastPattern(state.document.lastPatternFile());
        break;
    }
}

void useClockTiming(MainWindow& state, const ClockTiming& timing) {
    state.session->setClockTiming(timing);
    state.settings.setClockTiming(timing);
}

// Called at start and after each dialog, so that the focus never rests on Reset or a command
// button unasked: Return on the pen's radio does nothing, Space picks the pen already in use.
void restFocus(const MainWindow& state) {
    ui::controlSetFocus(state.mainWindow, penControlForLevel(state.penLevelCode));
}

void choosePen(MainWindow& state, std::int32_t command) {
    state.penLevelCode = penLevelForControl(command);
}

void resetCommand(MainWindow& state, std::int32_t) {
    if (!mayDiscardWork(state)) {
        return;
    }
    state.document.replace(resetPattern());
    state.session->resetDotCounter(true);
    // A WSPR pattern's own timing went with it.
    state.session->setClockTiming(state.settings.clockTiming());
}

// A step over a Reset also puts back the parameters and their fields. While the pattern plays
// the parameters stay as they are, as their Apply buttons are held back then: such a step
// waits.
void undoOrRedoCommand(MainWindow& state, std::int32_t command) {
    const bool playing = state.session->playing();
    const PatternDocument::Step step =
        command == id::kUndo ? state.document.undo(playing) : state.document.redo(playing);
    if (step == PatternDocument::Step::Held) {
        ui::beep();
    } else if (step == PatternDocument::Step::Parameters) {
        state.session->resetDotCounter(true);
    }
}

void turnOnOffCommand(MainWindow& state, std::int32_t) {
    if (state.session->playing()) {
        state.session->turnOff();
        return;
    }
    const PatternDocument& document = state.document;
    const bool kept = !document.lastPatternFile().empty() &&
                      samePatternWork(document.pattern(), document.keptPattern());
    state.session->turnOn(document.pattern(), state.amplitude, state.soundcardIndex,
                          kept ? document.lastPatternFile() : "(unsaved pattern)");
}

void closeCommand(MainWindow& state, std::int32_t) {
    ui::sendMessage(state.mainWindow, msg::WM_SYSCOMMAND, msg::SC_CLOSE, 0);
}

bool closeRequest(MainWindow& state) {
    if (!mayDiscardWork(state)) {
        return true;
    }
    // While the device is open the window stays until the queued sound has drained.
    return state.session->close();
}

void openCommand(MainWindow& state, std::int32_t) {
    if (mayDiscardWork(state) && loadPatternFile(state.mainWindow, state.document)) {
        showNewPattern(state);
    }
    restFocus(state);
}

void openPatternPath(MainWindow& state, const std::string& path) {
    if (loadPatternPath(path, state.document)) {
        showNewPattern(state);
    }
}

void generatePatternCommand(MainWindow& state, std::int32_t) {
    if (!mayDiscardWork(state)) {
        return;
    }
    if (const std::optional<BeaconPattern> made = runGenerateDialog(state.mainWindow)) {
        state.document.adopt(*made);
        showNewPattern(state);
    }
    restFocusIfOpen(state);
}

void previewCommand(MainWindow& state, std::int32_t) {
    runPreviewDialog(state.mainWindow, state.document.pattern());
    restFocusIfOpen(state);
}

void savePatternCommand(MainWindow& state, std::int32_t) {
    if (savePatternFile(state.mainWindow, state.document)) {
        showTitle(state);
    }
    restFocus(state);
}

void saveScriptCommand(MainWindow& state, std::int32_t) {
    exportScript(state.mainWindow, state.document);
    restFocus(state);
}

// The title shows the export's progress and then what it showed before: the export changes
// neither the sound nor the title.
void saveWaveCommand(MainWindow& state, std::int32_t) {
    const std::string title = ui::windowGetTitle(state.mainWindow);
    SessionView& view = *state.sessionView;
    // The export writes on a thread of its own; its progress is drawn on the window's.
    exportWave(state.mainWindow, state.document, state.amplitude,
               [&view](int blocks) { inWindow([&view, blocks] { view.renderProgress(blocks); }); });
    ui::windowSetTitle(state.mainWindow, title);
    restFocus(state);
}

void comportCommand(MainWindow& state, std::int32_t) {
    const ui::Window window = state.mainWindow;
    std::int32_t comport = state.settings.pttComport();
    ComportSelectionHooks hooks;
    hooks.reopenPttPort = [&state, &comport, window] {
        state.settings.setPttComport(comport);
        // A main window closed under the box has already let the port go.
        if (ui::windowExists(window)) {
            reopenPttPort(*state.session, window, comport, state.settings.pttChoice());
        }
    };
    selectComport(window, comport, state.choice, hooks);
    restFocusIfOpen(state);
}

// OK with another output stops playback; the settings remember the output by name ("" for the
// system default).
void soundcardCommand(MainWindow& state, std::int32_t) {
    const auto stopPlayback = [&state] {
        if (state.session->playing()) {
            state.session->turnOff();
        }
    };
    const std::vector<std::string> outputs = state.outputDevices();
    const std::int32_t before = state.soundcardIndex;
    selectSoundcard(state.mainWindow, state.soundcardIndex, outputs, stopPlayback,
                    &state.soundcardWindow);
    if (state.soundcardIndex != before) {
        const auto index = static_cast<std::size_t>(state.soundcardIndex);
        state.settings.setSoundOutput(
            state.soundcardIndex >= 0 && index < outputs.size() ? outputs[index] : "");
    }
    restFocusIfOpen(state);
}

// The dialog shows the operator's timing, and the pattern's own while that applies instead; OK
// makes the operator's apply, to this pattern too.
void timingCommand(MainWindow& state, std::int32_t) {
    const std::optional<ClockTiming> patternOwn =
        patternTimingApplies(state) ? std::optional(state.session->clockTiming()) : std::nullopt;
    if (const std::optional<ClockTiming> timing =
            askClockTiming(state.mainWindow, state.settings.clockTiming(), patternOwn)) {
        useClockTiming(state, *timing);
    }
    restFocusIfOpen(state);
}

// The keying chosen on OK is opened at once; a keyer that does not open is reported and shows
// released.
void pttOptionsCommand(MainWindow& state, std::int32_t) {
    const std::optional<PttOptions> chosen = askPttOptions(
        state.mainWindow, {state.settings.pttChoice(), state.settings.maxKeySeconds()});
    if (chosen) {
        state.settings.setPttChoice(chosen->choice);
        state.settings.setMaxKeySeconds(chosen->maxKeySeconds);
        state.session->setMaxKeyMs(chosen->maxKeySeconds * 1000);
    }
    if (!ui::windowExists(state.mainWindow)) {
        return;
    }
    if (chosen) {
        // Without a PTT port chosen yet the lines wait for one, and a rig keyed before is let go.
        reopenPttPort(*state.session, state.mainWindow, state.settings.pttComport(),
                      chosen->choice);
    }
    restFocus(state);
}

void mixerCommand(MainWindow&, std::int32_t) {
    openMixer();
}

void audioDevicesCommand(MainWindow&, std::int32_t) {
    openAudioDevices();
}

void aboutCommand(MainWindow&, std::int32_t) {
    ui::messageBox("VESK Controller Version " VESK_VERSION, msg::MB_ICONINFORMATION, "About");
}

void onOutputLevelScroll(MainWindow& state, std::uint32_t code, std::uint32_t position) {
    switch (code) {
    case msg::SB_LINELEFT:
        state.outputLevel -= 1.0f;
        break;
    case msg::SB_LINERIGHT:
        state.outputLevel += 1.0f;
        break;
    case msg::SB_PAGELEFT:
        state.outputLevel -= 10.0f;
        break;
    case msg::SB_PAGERIGHT:
        state.outputLevel += 10.0f;
        break;
    case msg::SB_THUMBTRACK:
        state.outputLevel = static_cast<float>(position);
        break;
    default:
        break;
    }
    showOutputLevel(state);
    // The level is remembered when the operator is done with it, not at every step.
    if (code == msg::SB_ENDSCROLL) {
        state.settings.setOutputLevel(state.outputLevel);
    }
}

void editSlot(MainWindow& state, std::uint32_t message, std::int32_t lParam) {
    const std::int32_t x = msg::mouseX(lParam), y = msg::mouseY(lParam);
    const std::optional<SlotEdit> edit =
        message == msg::WM_LBUTTONDOWN ? paintedSlot(x, y, state.gridScroll, state.penLevelCode)
                                       : erasedSlot(x, y, state.gridScroll);
    if (edit) {
        state.document.setSlot(edit->slot, edit->tone, edit->level);
    }
}

} // namespace vesk
