#include "app/main_window.h"

#include "app/audio_tools.h"
#include "app/comport_selection.h"
#include "app/file_commands.h"
#include "app/pattern_views.h"
#include "app/ptt_messages.h"
#include "app/soundcard_selection.h"
#include "devices/settings_file.h"
#include "files/number_reader.h"
#include "files/number_text.h"
#include "ui/messages.h"

#include <cmath>
#include <tuple>
#include <vector>

namespace vesk {

namespace {

using namespace ui::style;

constexpr ui::Colour kWhite = ui::rgb(255, 255, 255);

struct ControlSpec {
    int kind;
    const char* className;
    std::int32_t id;
    const char* text;
    std::int32_t x, y, width, height;
    std::uint32_t style;
    std::uint32_t exStyle;
};

constexpr std::uint32_t kGraphicStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | SS_OWNERDRAW;
constexpr std::uint32_t kLabelStyle = WS_CHILD | WS_VISIBLE;
constexpr std::uint32_t kButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
constexpr std::uint32_t kOptionStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTORADIOBUTTON;
constexpr std::uint32_t kEditStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;

// The 39 controls in creation order.
const std::vector<ControlSpec>& controlTable() {
    static const std::vector<ControlSpec> table = {
        {ui::kGraphic, "", 500, "", 0, 0, 3604, 100, kGraphicStyle, 0},
        {ui::kGraphic, "", 501, "", 0, 100, 3604, 10, kGraphicStyle, 0},
        {ui::kGraphic, "", 502, "", 10, 204, 600, 28, kGraphicStyle, 0},
        {ui::kGraphic, "", 504, "", 630, 204, 170, 12, kGraphicStyle, 0},
        {ui::kLabel, "", -1, "Repeat interval timer", 630, 217, 100, 14, kLabelStyle, 0},
        {ui::kLabel, "", 2501, "PTT OFF", 740, 217, 50, 14, kLabelStyle, 0},
        {ui::kButton, "", 4000, "Reset", 756, 114, 50, 20, kButtonStyle, 0},
        {ui::kOption, "", 1111, "", 230, 161, 16, 16, kOptionStyle, 0},
        {ui::kOption, "", 1112, "", 265, 161, 16, 16, kOptionStyle, 0},
        {ui::kOption, "", 1113, "", 300, 161, 16, 16, kOptionStyle, 0},
        {ui::kOption, "", 1114, "", 335, 161, 16, 16, kOptionStyle, 0},
        {ui::kOption, "", 1115, "", 370, 161, 16, 16, kOptionStyle, 0},
        {ui::kLabel, "", -1, "0dB", 228, 175, 20, 20, kLabelStyle, 0},
        {ui::kLabel, "", -1, "-6dB", 260, 175, 30, 20, kLabelStyle, 0},
        {ui::kLabel, "", -1, "-12dB", 293, 175, 30, 20, kLabelStyle, 0},
        {ui::kLabel, "", -1, "-18dB", 328, 175, 30, 20, kLabelStyle, 0},
        {ui::kLabel, "", -1, "-24dB", 365, 175, 30, 20, kLabelStyle, 0},
        {ui::kButton, "", 1002, "Turn On", 7, 114, 60, 20, kButtonStyle, 0},
        {ui::kCustom, "msctls_trackbar32", 1000, "", 420, 161, 362, 25,
         WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0},
        {ui::kLabel, "", -1, "Move window", 550, 184, 66, 15, kLabelStyle, 0},
        {ui::kCustom, "SCROLLBAR", 1003, "", 7, 161, 140, 15, WS_CHILD | WS_VISIBLE | SBS_HORZ, 0},
        {ui::kLabel, "", -1, "Output level", 47, 181, 66, 15, kLabelStyle, 0},
        {ui::kLabel, "", 1004, "", 157, 161, 37, 15, kLabelStyle | SS_SUNKEN | SS_CENTERIMAGE, 0},
        {ui::kEdit, "", 800, "Dot length (ms)", 210, 114, 60, 20, kEditStyle, WS_EX_CLIENTEDGE},
        {ui::kButton, "", 801, "Apply", 270, 114, 40, 20, kButtonStyle, 0},
        {ui::kLabel, "", -1, "Dot length (ms)", 210, 138, 90, 15, kLabelStyle, 0},
        {ui::kEdit, "", 820, "Number of dots", 320, 114, 60, 20, kEditStyle, WS_EX_CLIENTEDGE},
        {ui::kButton, "", 821, "Apply", 380, 114, 40, 20, kButtonStyle, 0},
        {ui::kLabel, "", -1, "Number of dots", 320, 138, 90, 15, kLabelStyle, 0},
        {ui::kEdit, "", 900, "Freq spacing", 430, 114, 60, 20, kEditStyle, WS_EX_CLIENTEDGE},
        {ui::kButton, "", 901, "Apply", 490, 114, 40, 20, kButtonStyle, 0},
        {ui::kLabel, "", -1, "Freq spacing (Hz)", 430, 138, 90, 15, kLabelStyle, 0},
        {ui::kEdit, "", 910, "Centre frequency", 540, 114, 60, 20, kEditStyle, WS_EX_CLIENTEDGE},
        {ui::kButton, "", 911, "Apply", 600, 114, 44, 20, kButtonStyle, 0},
        {ui::kLabel, "", -1, "Centre frequency (Hz)", 540, 138, 110, 15, kLabelStyle, 0},
        {ui::kEdit, "", 995, "Repeat", 650, 114, 60, 20, kEditStyle, WS_EX_CLIENTEDGE},
        {ui::kButton, "", 996, "Apply", 710, 114, 40, 20, kButtonStyle, 0},
        {ui::kLabel, "", -1, "Repeat (in dots)", 650, 138, 110, 15, kLabelStyle, 0},
        {ui::kEdit, "", 990, "", 84, 117, 110, 15, WS_CHILD | WS_VISIBLE | 0x0200u, 0x0800u},
    };
    return table;
}

// Graphic areas are cleared to their colour right after creation.
ui::Colour graphicBackground(std::int32_t controlId) {
    switch (controlId) {
    case 501:
        return ui::rgb(224, 255, 255);
    case 502:
        return ui::rgb(0, 0, 164);
    default:
        return kWhite;
    }
}

void addControls(ui::Window window) {
    for (const ControlSpec& control : controlTable()) {
        ui::controlAdd(window, control.kind, control.className, control.id, control.text, nullptr,
                       control.x, control.y, control.width, control.height, control.style,
                       control.exStyle);
        if (control.kind == ui::kGraphic) {
            const ui::Colour colour = graphicBackground(control.id);
            ui::controlSetColor(window, control.id, colour, colour);
            ui::graphicClear(window, control.id, colour);
        } else if (control.id == kPttLabelId) {
            ui::controlSetColor(window, control.id, ui::rgb(0, 0, 255), ui::kDefaultColour);
        } else if (control.id == 1115) {
            const ui::Colour optionColours[] = {ui::rgb(0, 0, 255), ui::rgb(128, 0, 255),
                                                ui::rgb(1, 128, 0), ui::rgb(255, 0, 0),
                                                ui::rgb(255, 128, 0)};
            for (std::int32_t i = 0; i < 5; ++i) {
                const ui::Colour colour = optionColours[i];
                ui::controlSetColor(window, kFirstPenId + i, colour, colour);
            }
        }
    }
}

void restFocus(const AppState& state);

void addMenus(ui::Window window, AppState& state) {
    const ui::Menu bar = ui::menuNew(true);
    const ui::Menu file = ui::menuNew(false);
    ui::menuAdd(file, "Open pattern file", id::kMenuOpen, 0, true);
    ui::menuAdd(file, "-", 0, 0, true);
    ui::menuAdd(file, "Save as pattern file .TXT", id::kMenuSavePattern, 0, true);
    ui::menuAdd(file, "Save as .SCP", id::kMenuSaveScript, 0, true);
    ui::menuAdd(file, "Save as .WAV", id::kMenuSaveWave, 0, true);
    ui::menuAdd(bar, "File", 0, file, true);

    // The three sound card items carry their own handlers; the window's handler ignores them.
    const ui::Menu soundcard = ui::menuNew(false);
    ui::menuAdd(soundcard, "Mixer", id::kMenuMixer, 0, true,
                [](ui::Window, std::uint32_t, std::uint32_t, std::int32_t) {
                    openMixer();
                    return 0;
                });
    ui::menuAdd(soundcard, "Audio Devices", id::kMenuAudioDevices, 0, true,
                [](ui::Window, std::uint32_t, std::uint32_t, std::int32_t) {
                    openAudioDevices();
                    return 0;
                });
    ui::menuAdd(soundcard, "SelectSoundcard", id::kMenuSelectSoundcard, 0, true,
                [&state](ui::Window, std::uint32_t, std::uint32_t, std::int32_t) {
                    selectSoundcard(state.mainWindow, state.soundcardIndex,
                                    platform::outputDevices(), &state.soundcardWindow);
                    if (ui::windowExists(state.mainWindow)) {
                        restFocus(state);
                    }
                    return 0;
                });
    ui::menuAdd(bar, "Soundcard", 0, soundcard, true);

    const ui::Menu ptt = ui::menuNew(false);
    ui::menuAdd(ptt, "PTT", id::kMenuPtt, 0, true);
    ui::menuAdd(bar, "PTT", 0, ptt, true);

    const ui::Menu help = ui::menuNew(false);
    ui::menuAdd(help, "About", id::kMenuAbout, 0, true);
    ui::menuAdd(help, "Help", id::kMenuHelp, 0, true);
    ui::menuAdd(bar, "Help", 0, help, true, {}, true);

    ui::menuAttach(window, bar);
}

std::string fieldText(std::int32_t value) {
    return fieldTextInt(value);
}
std::string fieldText(float value) {
    return fieldTextSingle(value);
}

void showParameters(const AppState& state) {
    const BeaconPattern& p = state.pattern;
    ui::controlSetText(state.mainWindow, id::kDotLengthField, fieldText(p.dotLength));
    ui::controlSetText(state.mainWindow, id::kDotCountField, fieldText(p.dotCount));
    ui::controlSetText(state.mainWindow, id::kSpacingField, fieldText(p.frequencySpacing));
    ui::controlSetText(state.mainWindow, id::kCentreField, fieldText(p.centreFrequency));
    ui::controlSetText(state.mainWindow, id::kRepeatField, fieldText(p.repeatDots));
}

// Reads an integer parameter field (ties to even) and keeps it within `limit`; a value that
// had to be limited is written back so the field shows what is used.
std::int32_t readIntegerField(const AppState& state, std::int32_t field,
                              std::int32_t (*limit)(std::int32_t)) {
    const double value = parseNumberLiteral(ui::controlGetText(state.mainWindow, field));
    const std::int32_t read = roundToInt32(value);
    const std::int32_t limited = limit(read);
    if (limited != read || !std::isfinite(value)) {
        ui::controlSetText(state.mainWindow, field, fieldText(limited));
    }
    return limited;
}

// Reads a frequency field; a value that is no finite number keeps the old one.
float readRealField(const AppState& state, std::int32_t field, float current) {
    const double value = parseNumberLiteral(ui::controlGetText(state.mainWindow, field));
    if (!std::isfinite(value)) {
        ui::controlSetText(state.mainWindow, field, fieldText(current));
        return current;
    }
    return roundToSingle(value);
}

void stopDotTimerAndCounter(AppState& state) {
    state.sequencer->resetDotCounter(true);
}

void redraw(const AppState& state) {
    redrawPatternViews(state.mainWindow, state.pattern, state.penLevelCode);
}

// The keyboard focus goes where Return does no harm: the radio of the pen in use (Return
// there does nothing, Space picks the pen that is already in use). Called at start and after
// each dialog, so that the focus never rests on Reset or a command button unasked.
void restFocus(const AppState& state) {
    ui::controlSetFocus(state.mainWindow, penControlForLevel(state.penLevelCode));
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

void applyDotLength(AppState& state) {
    state.pattern.dotLength = readIntegerField(state, id::kDotLengthField, limitDotLength);
    stopDotTimerAndCounter(state);
    redraw(state);
}

void applyDotCount(AppState& state) {
    state.pattern.dotCount = readIntegerField(state, id::kDotCountField, limitDotCount);
    state.sequencer->resetDotCounter(false);
    redraw(state);
}

void applyRepeat(AppState& state) {
    state.pattern.repeatDots = readIntegerField(state, id::kRepeatField, limitRepeatDots);
    state.sequencer->resetDotCounter(false);
    redraw(state);
}

void applySpacing(AppState& state) {
    state.pattern.frequencySpacing =
        readRealField(state, id::kSpacingField, state.pattern.frequencySpacing);
}

void applyCentre(AppState& state) {
    state.pattern.centreFrequency =
        readRealField(state, id::kCentreField, state.pattern.centreFrequency);
}

void resetPatternCommand(AppState& state) {
    if (!mayDiscardWork(state)) {
        return;
    }
    const BeaconPattern before = state.pattern;
    const BeaconPattern reset = resetPattern();
    state.pattern.toneIndex = reset.toneIndex;
    state.pattern.levelCode = reset.levelCode;
    const ui::Window w = state.mainWindow;
    ui::controlSetText(w, id::kDotLengthField, fieldText(reset.dotLength));
    ui::controlSetText(w, id::kDotCountField, fieldText(reset.dotCount));
    ui::controlSetText(w, id::kSpacingField, fieldText(reset.frequencySpacing));
    ui::controlSetText(w, id::kCentreField, fieldText(reset.centreFrequency));
    ui::controlSetText(w, id::kRepeatField, fieldText(reset.repeatDots));
    state.pattern.dotLength = readIntegerField(state, id::kDotLengthField, limitDotLength);
    state.pattern.dotCount = readIntegerField(state, id::kDotCountField, limitDotCount);
    state.pattern.frequencySpacing =
        readRealField(state, id::kSpacingField, state.pattern.frequencySpacing);
    state.pattern.centreFrequency =
        readRealField(state, id::kCentreField, state.pattern.centreFrequency);
    state.pattern.repeatDots = readIntegerField(state, id::kRepeatField, limitRepeatDots);
    stopDotTimerAndCounter(state);
    redraw(state);
    state.history.recordWhole(before, state.pattern);
}

// Ctrl+Z and Ctrl+Y: a slot step redraws the grid; a step over a Reset also puts back the
// parameters and their fields. While the pattern plays the parameters stay as they are, as
// their Apply buttons are held back then: such a step waits.
void undoOrRedo(AppState& state, bool undo) {
    BeaconPattern changed = state.pattern;
    if (undo ? !state.history.undo(changed) : !state.history.redo(changed)) {
        return;
    }
    const BeaconPattern& p = state.pattern;
    const bool parameters =
        std::tie(changed.dotLength, changed.dotCount, changed.frequencySpacing,
                 changed.centreFrequency, changed.repeatDots) !=
        std::tie(p.dotLength, p.dotCount, p.frequencySpacing, p.centreFrequency, p.repeatDots);
    if (parameters && state.sequencer->deviceOpen()) {
        // Give the step back: it applies once playback has stopped.
        undo ? state.history.redo(changed) : state.history.undo(changed);
        ui::beep();
        return;
    }
    state.pattern = changed;
    if (parameters) {
        showParameters(state);
        stopDotTimerAndCounter(state);
    }
    redraw(state);
}

void showOutputLevel(AppState& state) {
    state.outputLevel = clampOutputLevel(state.outputLevel);
    state.amplitude = amplitudeForLevel(state.outputLevel);
    ui::scrollSetPos(state.mainWindow, id::kOutputLevel,
                     roundToInt32(static_cast<double>(state.outputLevel)), true);
    ui::controlSetText(state.mainWindow, id::kLevelReadout, levelReadout(state.outputLevel));
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
}

void setPatternTitle(const AppState& state) {
    ui::windowSetTitle(state.mainWindow, std::string(kTitlePrefix) + state.patternFileName);
}

void loadPatternCommand(AppState& state) {
    if (!mayDiscardWork(state)) {
        return;
    }
    if (!loadPatternFile(state.mainWindow, state.lastFile, state.patternFileName, state.pattern)) {
        return;
    }
    state.keptPattern = state.pattern;
    state.history.clear();
    redraw(state);
    showParameters(state);
    setPatternTitle(state);
    // Playback, if running, goes on from the new pattern's samples at its current position.
    state.sequencer->loadPattern(state.pattern, state.amplitude);
}

// The title shows the export's progress and then what it showed before: the export changes
// neither the sound nor the title.
void exportWaveCommand(AppState& state) {
    const std::string title = ui::windowGetTitle(state.mainWindow);
    SequencerView& view = *state.sequencerView;
    exportWave(state.mainWindow, state.lastFile, state.pattern, state.amplitude,
               [&view](int blocks) { view.showRenderProgress(blocks); });
    ui::windowSetTitle(state.mainWindow, title);
}

void savePatternCommand(AppState& state) {
    if (savePatternFile(state.mainWindow, state.lastFile, state.pattern)) {
        state.keptPattern = state.pattern;
    }
}

// Return in a parameter field does what the Apply beside it does; elsewhere it does nothing.
void applyFocusedField(AppState& state) {
    switch (ui::controlFocused(state.mainWindow)) {
    case id::kDotLengthField:
        applyDotLength(state);
        break;
    case id::kDotCountField:
        applyDotCount(state);
        break;
    case id::kSpacingField:
        applySpacing(state);
        break;
    case id::kCentreField:
        applyCentre(state);
        break;
    case id::kRepeatField:
        applyRepeat(state);
        break;
    default:
        break;
    }
}

// Paints or erases with the mouse; the change is one undo step.
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

std::int32_t onCommand(AppState& state, std::uint32_t wParam) {
    const std::int32_t command = static_cast<std::int32_t>(msg::loWord(wParam));
    if (penLevelForControl(command) != 0) {
        state.penLevelCode = penLevelForControl(command);
    } else if (command == id::kDotLengthApply) {
        applyDotLength(state);
    } else if (command == id::kDotCountApply) {
        applyDotCount(state);
    } else if (command == id::kRepeatApply) {
        applyRepeat(state);
    } else if (command == id::kSpacingApply) {
        applySpacing(state);
    } else if (command == id::kCentreApply) {
        applyCentre(state);
    } else if (command == id::kMenuPtt) {
        const ui::Window window = state.mainWindow;
        selectComport(window, state.pttComport, state.choice, [&state, window] {
            // A main window closed under the box has already let the port go.
            if (ui::windowExists(window)) {
                reopenPttPort(*state.ptt, state.pttComport);
            }
        });
        if (ui::windowExists(window)) {
            restFocus(state);
        }
    } else if (command == id::kMenuAbout) {
        ui::messageBox("VESK Controller Version 1.09", msg::MB_ICONINFORMATION, "About");
    } else if (command == id::kReset) {
        resetPatternCommand(state);
    } else if (command == id::kMenuOpen) {
        loadPatternCommand(state);
        restFocus(state);
    } else if (command == id::kMenuSavePattern) {
        savePatternCommand(state);
        restFocus(state);
    } else if (command == id::kMenuSaveScript) {
        exportScript(state.mainWindow, state.lastFile, state.pattern);
        restFocus(state);
    } else if (command == id::kMenuSaveWave) {
        exportWaveCommand(state);
        restFocus(state);
    } else if (command == id::kUndo || command == id::kRedo) {
        undoOrRedo(state, command == id::kUndo);
    } else if (command == static_cast<std::int32_t>(msg::IDOK)) {
        applyFocusedField(state);
    } else if (command == id::kTurnOnOff) {
        if (state.sequencer->deviceOpen()) {
            state.sequencer->stop();
        } else {
            state.sequencer->start(state.pattern, state.amplitude, state.soundcardIndex);
        }
    } else if (command == static_cast<std::int32_t>(msg::IDCANCEL)) {
        ui::sendMessage(state.mainWindow, msg::WM_SYSCOMMAND, msg::SC_CLOSE, 0);
    }
    return 0;
}

std::int32_t dispatch(AppState& state, std::uint32_t message, std::uint32_t wParam,
                      std::int32_t lParam) {
    switch (message) {
    case msg::WM_INITDIALOG:
        initialiseMainWindow(state);
        return 1;
    case msg::WM_TIMER:
        if (wParam == 0) {
            state.sequencer->onDotTimer();
        }
        return 0;
    case msg::WM_HSCROLL: {
        const std::int32_t control = ui::controlId(lParam);
        if (control == kMoveWindowId) {
            onGraphScroll(state.mainWindow, msg::loWord(wParam),
                          static_cast<std::int32_t>(msg::hiWord(wParam)), state.gridScroll);
        } else if (control == id::kOutputLevel) {
            onOutputLevelScroll(state, msg::loWord(wParam), msg::hiWord(wParam));
        }
        return 0;
    }
    case msg::WM_COMMAND:
        return onCommand(state, wParam);
    case msg::MM_WOM_OPEN:
        state.sequencer->handleAudioEvent(platform::AudioEvent::Opened, 0);
        return 0;
    case msg::MM_WOM_DONE:
        state.sequencer->handleAudioEvent(platform::AudioEvent::BlockDone, lParam);
        return 0;
    case msg::MM_WOM_CLOSE:
        state.sequencer->handleAudioEvent(platform::AudioEvent::Closed, 0);
        return 0;
    case kDeviceLostMessage:
        state.sequencer->handleAudioEvent(platform::AudioEvent::Lost, 0);
        return 0;
    case msg::WM_SYSCOMMAND:
        if (wParam == msg::SC_CLOSE) {
            if (!mayDiscardWork(state)) {
                return 1; // the window stays
            }
            // While the device is open the window stays until the queued sound has drained.
            return state.sequencer->close() ? 1 : 0;
        }
        return 0;
    case msg::WM_MOUSEMOVE:
        onMouseMove(state.mainWindow, msg::mouseX(lParam), msg::mouseY(lParam), state.gridScroll);
        return 0;
    case msg::WM_LBUTTONUP:
        return 0;
    case msg::WM_LBUTTONDOWN:
    case msg::WM_RBUTTONDOWN:
        editSlot(state, message, lParam);
        return 0;
    case kPttFailureMessage:
        reportPttFailure(*state.ptt);
        return 0;
    case msg::WM_DESTROY:
        shutdownMainWindow(state);
        return 0;
    default:
        return 0;
    }
}

} // namespace

ui::Window createMainWindow(AppState& state) {
    const ui::Window window =
        ui::dialogNew(ui::Units::Pixels, 0, kMainCaption, ui::kCentred, ui::kCentred, kClientWidth,
                      kClientHeight, WS_POPUP | WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0);
    state.mainWindow = window;
    ui::windowSetIcon(window, {":/icons/icon1-32.png", ":/icons/icon1-16.png"});
    addControls(window);
    addMenus(window, state);
    constexpr std::uint32_t kKeyY = 0x59, kKeyZ = 0x5A;
    ui::acceleratorsAttach(window, {{ui::FCONTROL, kKeyZ, id::kUndo},
                                    {ui::FCONTROL, kKeyY, id::kRedo},
                                    {ui::FCONTROL | ui::FSHIFT, kKeyZ, id::kRedo}});
    showPttLabel(*state.ptt, window);
    return window;
}

ui::Handler mainWindowHandler(AppState& state) {
    return [&state](ui::Window, std::uint32_t message, std::uint32_t wParam, std::int32_t lParam) {
        return dispatch(state, message, wParam, lParam);
    };
}

void initialiseMainWindow(AppState& state) {
    const ui::Window w = state.mainWindow;
    if (!state.settingsError.empty()) {
        ui::messageBox(state.settingsError +
                           "\r\nThe file is left as it is: the PTT port chosen now is not saved.",
                       msg::MB_OK | msg::MB_ICONWARNING, "Comport");
    }
    startPttPort(*state.ptt, state.pttComport);

    const BeaconPattern start = startPattern();
    state.pattern.toneIndex = start.toneIndex;
    state.pattern.levelCode = start.levelCode;

    ui::scrollSetRange(w, kMoveWindowId, 0, kGridScrollMax, false);
    ui::scrollSetPos(w, kMoveWindowId, kGridScrollOrigin, true);

    state.pi = 4.0 * std::atan(1.0);
    state.outputLevel = 90.0f;
    state.amplitude = amplitudeForLevel(state.outputLevel);
    state.levelScrollBar = ui::controlHandle(w, id::kOutputLevel);
    ui::scrollSetRange(w, id::kOutputLevel, 0, 100, false);
    ui::scrollSetPos(w, id::kOutputLevel, 90, true);
    ui::controlSetText(w, id::kLevelReadout, levelReadout(state.outputLevel));

    state.pattern.dotLength = start.dotLength;
    state.pattern.dotCount = start.dotCount;
    state.pattern.repeatDots = start.dotCount;
    state.sequencer->resetDotCounter(false);
    state.pattern.frequencySpacing = start.frequencySpacing;
    state.pattern.centreFrequency = start.centreFrequency;
    showParameters(state);

    ui::controlSetCheck(w, kFirstPenId, true);
    state.gridScroll = kGridScrollOrigin;
    state.currentGain = 1.0f;
    state.penLevelCode = 1;

    drawDotScale(w);
    redraw(state);
    state.keptPattern = state.pattern;
    state.history.clear();
    restFocus(state);
}

void shutdownMainWindow(AppState& state) {
    // A transmitter is never left keyed by this program: release, then close the port.
    state.ptt->shutdown();
    // A settings file that could not be read at start is left as it is.
    if (state.settingsError.empty()) {
        // Nobody is left to tell at this point: the window has gone.
        static_cast<void>(saveComportSetting(state.settingsPath, state.pttComport));
    }
}

void buildMainWindow(AppState& state) {
    const ui::Window window = createMainWindow(state);
    ui::dialogShowModal(window, mainWindowHandler(state), nullptr);
}

} // namespace vesk
