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
#include "app/remembered_settings.h"
#include "app/soundcard_selection.h"
#include "app/timing_dialog.h"
#include "beacon/generator.h"
#include "files/number_reader.h"
#include "files/number_text.h"
#include "tone/pattern_stream.h"
#include "ui/messages.h"
#include "vesk_version.h"

#include <cmath>

namespace vesk {

namespace {

// What applying a parameter does to playback's dot counter besides storing the value.
enum class CounterReset {
    None,         // the frequencies are heard from the next render
    Count,        // the count starts again; the timer keeps its pace
    CountAndTimer // a new dot length: the timer stops too
};

// The five parameter fields. An integer field is read ties to even and kept within its value
// rule (`limit`); a value that had to be limited is written back so the field shows what is
// used. A real field that holds no finite number keeps the old value.
struct ParameterField {
    std::int32_t field;
    std::int32_t apply;
    std::int32_t BeaconPattern::*integer; // integer fields, else null
    float BeaconPattern::*real;           // real fields, else null
    std::int32_t (*limit)(std::int32_t);  // integer fields: at least 1 / 0..600 / at least 0
    CounterReset reset;
};

constexpr ParameterField kParameterFields[] = {
    {id::kDotLengthField, id::kDotLengthApply, &BeaconPattern::dotLength, nullptr, limitDotLength,
     CounterReset::CountAndTimer},
    {id::kDotCountField, id::kDotCountApply, &BeaconPattern::dotCount, nullptr, limitDotCount,
     CounterReset::Count},
    {id::kSpacingField, id::kSpacingApply, nullptr, &BeaconPattern::frequencySpacing, nullptr,
     CounterReset::None},
    {id::kCentreField, id::kCentreApply, nullptr, &BeaconPattern::centreFrequency, nullptr,
     CounterReset::None},
    {id::kRepeatField, id::kRepeatApply, &BeaconPattern::repeatDots, nullptr, limitRepeatDots,
     CounterReset::Count},
};

// The field's text for its value in `pattern`.
std::string shownValue(const ParameterField& f, const BeaconPattern& pattern) {
    return f.integer != nullptr ? fieldTextInt(pattern.*f.integer)
                                : fieldTextSingle(pattern.*f.real);
}

// Reads the field's text into state.pattern under the field's rule.
void readField(AppState& state, const ParameterField& f) {
    const double value = parseNumberLiteral(ui::controlGetText(state.mainWindow, f.field));
    if (f.integer != nullptr) {
        const std::int32_t read = roundToInt32(value);
        const std::int32_t limited = f.limit(read);
        if (limited != read || !std::isfinite(value)) {
            ui::controlSetText(state.mainWindow, f.field, fieldTextInt(limited));
        }
        state.pattern.*f.integer = limited;
    } else if (!std::isfinite(value)) {
        ui::controlSetText(state.mainWindow, f.field, fieldTextSingle(state.pattern.*f.real));
    } else {
        state.pattern.*f.real = roundToSingle(value);
    }
}

// The one apply of every parameter field.
void applyParameter(AppState& state, const ParameterField& f) {
    readField(state, f);
    if (f.reset == CounterReset::None) {
        return;
    }
    state.sequencer->resetDotCounter(f.reset == CounterReset::CountAndTimer);
    redraw(state);
}

bool sameParameters(const BeaconPattern& a, const BeaconPattern& b) {
    for (const ParameterField& f : kParameterFields) {
        if (f.integer != nullptr ? a.*f.integer != b.*f.integer : a.*f.real != b.*f.real) {
            return false;
        }
    }
    return true;
}

// True when the operator may lose work: the pattern or its parameters differ from the last
// load or save, and from the Reset pattern, which Reset gives back at any time.
bool hasUnsavedWork(const AppState& state) {
    return !samePatternWork(state.pattern, state.keptPattern) &&
           !samePatternWork(state.pattern, resetPattern());
}

// True when nothing unsaved is in the way, or the operator agrees to discard it.
bool mayDiscardWork(const AppState& state) {
    if (!hasUnsavedWork(state)) {
        return true;
    }
    const bool discard =
        ui::messageBox(kDiscardQuestion, msg::MB_YESNO | msg::MB_ICONQUESTION | msg::MB_DEFBUTTON2,
                       "VESK Controller") == static_cast<int>(msg::IDYES);
    restFocus(state);
    return discard;
}

void setPatternTitle(const AppState& state) {
    ui::windowSetTitle(state.mainWindow, std::string(kTitlePrefix) + state.patternFileName);
}

// Prepares the pattern's stream with the title showing progress; playback, if running, goes
// on from the new samples at its current position. Nothing is rendered up front.
void renderCurrentPattern(AppState& state) {
    state.sequencer->loadPattern(state.pattern, state.amplitude);
}

} // namespace

void showOutputLevel(AppState& state) {
    state.outputLevel = clampOutputLevel(state.outputLevel);
    state.amplitude = amplitudeForLevel(state.outputLevel);
    ui::scrollSetPos(state.mainWindow, id::kOutputLevel,
                     roundToInt32(static_cast<double>(state.outputLevel)), true);
    ui::controlSetText(state.mainWindow, id::kLevelReadout, levelReadout(state.outputLevel));
}

void showParameters(const AppState& state) {
    for (const ParameterField& f : kParameterFields) {
        ui::controlSetText(state.mainWindow, f.field, shownValue(f, state.pattern));
    }
}

void redraw(const AppState& state) {
    redrawPatternViews(state.mainWindow, state.pattern, state.penLevelCode);
}

// Called at start and after each dialog, so that the focus never rests on Reset or a command
// button unasked: Return on the pen's radio does nothing, Space picks the pen already in use.
void restFocus(const AppState& state) {
    ui::controlSetFocus(state.mainWindow, penControlForLevel(state.penLevelCode));
}

void choosePen(AppState& state, std::int32_t command) {
    state.penLevelCode = penLevelForControl(command);
}

void applyParameterCommand(AppState& state, std::int32_t command) {
    for (const ParameterField& f : kParameterFields) {
        if (f.apply == command) {
            applyParameter(state, f);
        }
    }
}

void applyFocusedField(AppState& state, std::int32_t) {
    const std::int32_t focused = ui::controlFocused(state.mainWindow);
    for (const ParameterField& f : kParameterFields) {
        if (f.field == focused) {
            applyParameter(state, f);
        }
    }
}

// The Reset pattern's parameters go through their fields as typed values would.
void resetCommand(AppState& state, std::int32_t) {
    if (!mayDiscardWork(state)) {
        return;
    }
    const BeaconPattern before = state.pattern;
    const BeaconPattern reset = resetPattern();
    state.pattern.toneIndex = reset.toneIndex;
    state.pattern.levelCode = reset.levelCode;
    for (const ParameterField& f : kParameterFields) {
        ui::controlSetText(state.mainWindow, f.field, shownValue(f, reset));
        readField(state, f);
    }
    state.sequencer->resetDotCounter(true);
    redraw(state);
    state.history.recordWhole(before, state.pattern);
}

// A slot step redraws the grid; a step over a Reset also puts back the parameters and their
// fields. While the pattern plays the parameters stay as they are, as their Apply buttons are
// held back then: such a step waits.
void undoOrRedoCommand(AppState& state, std::int32_t command) {
    const bool undo = command == id::kUndo;
    BeaconPattern changed = state.pattern;
    if (undo ? !state.history.undo(changed) : !state.history.redo(changed)) {
        return;
    }
    const bool parameters = !sameParameters(changed, state.pattern);
    if (parameters && state.sequencer->deviceOpen()) {
        // Give the step back: it applies once playback has stopped.
        undo ? state.history.redo(changed) : state.history.undo(changed);
        ui::beep();
        return;
    }
    state.pattern = changed;
    if (parameters) {
        showParameters(state);
        state.sequencer->resetDotCounter(true);
    }
    redraw(state);
}

void turnOnOffCommand(AppState& state, std::int32_t) {
    if (state.sequencer->deviceOpen()) {
        state.sequencer->stop();
    } else {
        TransmissionLogger& logger = *state.transmissionLogger;
        logger.restartCycles();
        const bool kept =
            !state.lastPatternFile.empty() && samePatternWork(state.pattern, state.keptPattern);
        logger.setPattern(kept ? state.lastPatternFile : "(unsaved pattern)");
        logger.setPttDescription(describePttChoice(state.pttChoice, state.pttComport));
        state.sequencer->start(state.pattern, state.amplitude, state.soundcardIndex);
    }
}

void closeCommand(AppState& state, std::int32_t) {
    ui::sendMessage(state.mainWindow, msg::WM_SYSCOMMAND, msg::SC_CLOSE, 0);
}

bool closeRequest(AppState& state) {
    if (!mayDiscardWork(state)) {
        return true;
    }
    // While the device is open the window stays until the queued sound has drained.
    return state.sequencer->close();
}

// A WSPR pattern brings the WSPR grid along, unless a clock timing has been chosen already.
void adoptPatternTiming(AppState& state) {
    if (beacon::isWsprTiming(state.pattern) && !state.sequencer->clockTiming().onTheClock()) {
        state.sequencer->setClockTiming(kWsprTiming);
    }
}

// A pattern read from a file: shown, rendered, and kept as the saved state.
static void showLoadedPattern(AppState& state) {
    state.keptPattern = state.pattern;
    state.history.clear();
    state.lastPatternFile = state.lastFile;
    adoptPatternTiming(state);
    redraw(state);
    showParameters(state);
    setPatternTitle(state);
    renderCurrentPattern(state);
    rememberSettings(state);
}

void openCommand(AppState& state, std::int32_t) {
    if (mayDiscardWork(state) &&
        loadPatternFile(state.mainWindow, state.lastFile, state.patternFileName, state.pattern)) {
        showLoadedPattern(state);
    }
    restFocus(state);
}

void openPatternPath(AppState& state, const std::string& path) {
    if (loadPatternPath(path, state.lastFile, state.patternFileName, state.pattern)) {
        showLoadedPattern(state);
    }
}

void generatePatternCommand(AppState& state, std::int32_t) {
    if (!mayDiscardWork(state)) {
        return;
    }
    if (const std::optional<BeaconPattern> made = runGenerateDialog()) {
        state.pattern = *made;
        state.patternFileName.clear(); // no file holds it yet
        state.history.clear();
        adoptPatternTiming(state);
        rememberSettings(state);
        redraw(state);
        showParameters(state);
        setPatternTitle(state);
        renderCurrentPattern(state);
    }
    if (ui::windowExists(state.mainWindow)) {
        restFocus(state);
    }
}

void previewCommand(AppState& state, std::int32_t) {
    runPreviewDialog(state.pattern);
    if (ui::windowExists(state.mainWindow)) {
        restFocus(state);
    }
}

void savePatternCommand(AppState& state, std::int32_t) {
    if (savePatternFile(state.mainWindow, state.lastFile, state.pattern)) {
        state.keptPattern = state.pattern;
        state.lastPatternFile = state.lastFile;
        rememberSettings(state);
    }
    restFocus(state);
}

void saveScriptCommand(AppState& state, std::int32_t) {
    exportScript(state.mainWindow, state.lastFile, state.pattern);
    restFocus(state);
}

// The title shows the export's progress and then what it showed before: the export changes
// neither the sound nor the title.
void saveWaveCommand(AppState& state, std::int32_t) {
    const std::string title = ui::windowGetTitle(state.mainWindow);
    SequencerView& view = *state.sequencerView;
    exportWave(state.mainWindow, state.lastFile, state.pattern, state.amplitude,
               [&view](int blocks) { view.showRenderProgress(blocks); });
    ui::windowSetTitle(state.mainWindow, title);
    restFocus(state);
}

void comportCommand(AppState& state, std::int32_t) {
    const ui::Window window = state.mainWindow;
    ComportSelectionHooks hooks;
    hooks.enableCommands = [window](bool enabled) {
        ui::menuEnable(window, id::kMenuPtt, enabled);
        ui::controlEnable(window, id::kTurnOnOff, enabled);
    };
    hooks.reopenPttPort = [&state, window] {
        // A main window closed under the box has already let the port go.
        if (ui::windowExists(window)) {
            reopenPttPort(*state.ptt, state.pttComport, state.pttChoice);
        }
    };
    selectComport(window, state.pttComport, state.choice, hooks);
    if (ui::windowExists(window)) {
        restFocus(state);
    }
}

// The selection stops playback as it opens and again on OK.
void soundcardCommand(AppState& state, std::int32_t) {
    const auto stopPlayback = [&state] {
        if (state.playing) {
            state.sequencer->stop();
        }
    };
    const std::vector<std::string> outputs = state.outputDevices();
    const std::int32_t before = state.soundcardIndex;
    selectSoundcard(state.mainWindow, state.soundcardIndex, outputs, stopPlayback,
                    &state.soundcardWindow);
    if (state.soundcardIndex != before) {
        const auto index = static_cast<std::size_t>(state.soundcardIndex);
        state.soundOutputName =
            state.soundcardIndex >= 0 && index < outputs.size() ? outputs[index] : "";
        rememberSettings(state);
    }
    if (ui::windowExists(state.mainWindow)) {
        restFocus(state);
    }
}

void timingCommand(AppState& state, std::int32_t) {
    if (const std::optional<ClockTiming> timing =
            askClockTiming(state.mainWindow, state.sequencer->clockTiming(), &state.timingWindow)) {
        state.sequencer->setClockTiming(*timing);
        rememberSettings(state);
    }
    if (ui::windowExists(state.mainWindow)) {
        restFocus(state);
    }
}

// The keying chosen on OK is opened at once; a keyer that does not open is reported and shows
// released.
void pttOptionsCommand(AppState& state, std::int32_t) {
    const std::optional<PttChoice> chosen =
        askPttChoice(state.mainWindow, state.pttChoice, &state.pttOptionsWindow);
    if (chosen) {
        state.pttChoice = *chosen;
        rememberSettings(state);
    }
    if (!ui::windowExists(state.mainWindow)) {
        return;
    }
    if (chosen && state.pttComport == 0 && !chosen->usesCat()) {
        // No PTT port chosen yet: the lines wait for one, and a rig keyed before is let go.
        state.ptt->shutdown();
    } else if (chosen) {
        reopenPttPort(*state.ptt, state.pttComport, state.pttChoice);
    }
    restFocus(state);
}

void mixerCommand(AppState&, std::int32_t) {
    openMixer();
}

void audioDevicesCommand(AppState&, std::int32_t) {
    openAudioDevices();
}

void aboutCommand(AppState&, std::int32_t) {
    ui::messageBox("VESK Controller Version " VESK_VERSION, msg::MB_ICONINFORMATION, "About");
}

void onOutputLevelScroll(AppState& state, std::uint32_t code, std::uint32_t position) {
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
    if (code == msg::SB_ENDSCROLL) {
        rememberSettings(state);
    }
}

void editSlot(AppState& state, std::uint32_t message, std::int32_t lParam) {
    const std::int32_t x = msg::mouseX(lParam), y = msg::mouseY(lParam);
    const std::int32_t slot = gridPointAt(x, y, state.gridScroll).slot;
    const bool inSlots = slot >= 0 && slot < kSlotCount;
    const auto s = static_cast<std::size_t>(inSlots ? slot : 0);
    const float tone = state.pattern.toneIndex[s], level = state.pattern.levelCode[s];
    if (message == msg::WM_LBUTTONDOWN) {
        onLeftButtonDown(state.mainWindow, state.pattern, x, y, state.gridScroll,
                         state.penLevelCode);
    } else {
        onRightButtonDown(state.mainWindow, state.pattern, x, y, state.gridScroll);
    }
    if (inSlots) {
        state.history.recordSlot(state.pattern, slot, tone, level);
    }
}

} // namespace vesk
