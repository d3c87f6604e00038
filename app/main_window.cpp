// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_window.h"

#include "app/help.h"
#include "app/main_commands.h"
#include "app/pattern_views.h"
#include "app/ptt_messages.h"
#include "app/remembered_settings.h"
#include "ui/messages.h"

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
        {ui::kGraphic, "", id::kPatternGrid, "", 0, 0, kGridWidth, 100, kGraphicStyle, 0},
        {ui::kGraphic, "", id::kDotScale, "", 0, 100, kGridWidth, 10, kGraphicStyle, 0},
        {ui::kGraphic, "", id::kPatternStrip, "", 10, 204, 600, 28, kGraphicStyle, 0},
        {ui::kGraphic, "", id::kCycleBar, "", 630, 204, 170, 12, kGraphicStyle, 0},
        {ui::kLabel, "", -1, "Repeat interval timer", 630, 217, 100, 14, kLabelStyle, 0},
        {ui::kLabel, "", id::kPttLabel, "PTT OFF", 740, 217, 50, 14, kLabelStyle, 0},
        {ui::kButton, "", id::kReset, "Reset", 756, 114, 50, 20, kButtonStyle, 0},
        {ui::kOption, "", id::kPen0dB, "", 230, 161, 16, 16, kOptionStyle, 0},
        {ui::kOption, "", id::kPen6dB, "", 265, 161, 16, 16, kOptionStyle, 0},
        {ui::kOption, "", id::kPen12dB, "", 300, 161, 16, 16, kOptionStyle, 0},
        {ui::kOption, "", id::kPen18dB, "", 335, 161, 16, 16, kOptionStyle, 0},
        {ui::kOption, "", id::kPen24dB, "", 370, 161, 16, 16, kOptionStyle, 0},
        {ui::kLabel, "", -1, "0dB", 228, 175, 20, 20, kLabelStyle, 0},
        {ui::kLabel, "", -1, "-6dB", 260, 175, 30, 20, kLabelStyle, 0},
        {ui::kLabel, "", -1, "-12dB", 293, 175, 30, 20, kLabelStyle, 0},
        {ui::kLabel, "", -1, "-18dB", 328, 175, 30, 20, kLabelStyle, 0},
        {ui::kLabel, "", -1, "-24dB", 365, 175, 30, 20, kLabelStyle, 0},
        {ui::kButton, "", id::kTurnOnOff, "Turn On", 7, 114, 60, 20, kButtonStyle, 0},
        {ui::kCustom, "msctls_trackbar32", id::kMoveWindow, "", 420, 161, 362, 25,
         WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0},
        {ui::kLabel, "", -1, "Move window", 550, 184, 66, 15, kLabelStyle, 0},
        {ui::kCustom, "SCROLLBAR", id::kOutputLevel, "", 7, 161, 140, 15,
         WS_CHILD | WS_VISIBLE | WS_TABSTOP | SBS_HORZ, 0},
        {ui::kLabel, "", -1, "Output level", 47, 181, 66, 15, kLabelStyle, 0},
        {ui::kLabel, "", id::kLevelReadout, "", 157, 161, 37, 15,
         kLabelStyle | SS_SUNKEN | SS_CENTERIMAGE, 0},
        {ui::kEdit, "", id::kDotLengthField, "Dot length (ms)", 210, 114, 60, 20, kEditStyle,
         WS_EX_CLIENTEDGE},
        {ui::kButton, "", id::kDotLengthApply, "Apply", 270, 114, 40, 20, kButtonStyle, 0},
        {ui::kLabel, "", -1, "Dot length (ms)", 210, 138, 90, 15, kLabelStyle, 0},
        {ui::kEdit, "", id::kDotCountField, "Number of dots", 320, 114, 60, 20, kEditStyle,
         WS_EX_CLIENTEDGE},
        {ui::kButton, "", id::kDotCountApply, "Apply", 380, 114, 40, 20, kButtonStyle, 0},
        {ui::kLabel, "", -1, "Number of dots", 320, 138, 90, 15, kLabelStyle, 0},
        {ui::kEdit, "", id::kSpacingField, "Freq spacing", 430, 114, 60, 20, kEditStyle,
         WS_EX_CLIENTEDGE},
        {ui::kButton, "", id::kSpacingApply, "Apply", 490, 114, 40, 20, kButtonStyle, 0},
        {ui::kLabel, "", -1, "Freq spacing (Hz)", 430, 138, 90, 15, kLabelStyle, 0},
        {ui::kEdit, "", id::kCentreField, "Centre frequency", 540, 114, 60, 20, kEditStyle,
         WS_EX_CLIENTEDGE},
        {ui::kButton, "", id::kCentreApply, "Apply", 600, 114, 44, 20, kButtonStyle, 0},
        {ui::kLabel, "", -1, "Centre frequency (Hz)", 540, 138, 110, 15, kLabelStyle, 0},
        {ui::kEdit, "", id::kRepeatField, "Repeat", 650, 114, 60, 20, kEditStyle, WS_EX_CLIENTEDGE},
        {ui::kButton, "", id::kRepeatApply, "Apply", 710, 114, 40, 20, kButtonStyle, 0},
        {ui::kLabel, "", -1, "Repeat (in dots)", 650, 138, 110, 15, kLabelStyle, 0},
        {ui::kEdit, "", id::kGridReadout, "", 84, 117, 110, 15, WS_CHILD | WS_VISIBLE | 0x0200u,
         0x0800u},
    };
    return table;
}

// Graphic areas are cleared to their colour right after creation.
ui::Colour graphicBackground(std::int32_t controlId) {
    switch (controlId) {
    case id::kDotScale:
        return ui::rgb(224, 255, 255);
    case id::kPatternStrip:
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
        } else if (control.id == id::kPttLabel) {
            ui::controlSetColor(window, control.id, ui::rgb(0, 0, 255), ui::kDefaultColour);
        } else if (control.id == id::kPen24dB) {
            // Each pen radio stands on the grid colour of its level.
            for (std::int32_t pen = id::kPen0dB; pen <= id::kPen24dB; ++pen) {
                const ui::Colour colour = levelColour(static_cast<float>(penLevelForControl(pen)));
                ui::controlSetColor(window, pen, colour, colour);
            }
        }
    }
}

// Where each command id goes, in one place. A command runs in the window's handler, or, for
// the three sound card items, as the menu item's own handler, which the toolkit calls before
// the window's: the window's handler then leaves that id alone. An id that is not listed
// (notifications of the edit fields) does nothing.
enum class RunsIn { Window, MenuItem };
struct CommandRoute {
    std::int32_t id;
    Command run;
    RunsIn runsIn = RunsIn::Window;
};

constexpr CommandRoute kCommandRoutes[] = {
    {id::kPen0dB, choosePen},
    {id::kPen6dB, choosePen},
    {id::kPen12dB, choosePen},
    {id::kPen18dB, choosePen},
    {id::kPen24dB, choosePen},
    {id::kDotLengthApply, applyParameterCommand},
    {id::kDotCountApply, applyParameterCommand},
    {id::kRepeatApply, applyParameterCommand},
    {id::kSpacingApply, applyParameterCommand},
    {id::kCentreApply, applyParameterCommand},
    {id::kMenuPtt, comportCommand},
    {id::kMenuTiming, timingCommand},
    {id::kMenuPttOptions, pttOptionsCommand},
    {id::kMenuAbout, aboutCommand},
    {id::kMenuHelp, helpCommand},
    {id::kReset, resetCommand},
    {id::kMenuOpen, openCommand},
    {id::kMenuGenerate, generatePatternCommand},
    {id::kMenuPreview, previewCommand},
    {id::kMenuSavePattern, savePatternCommand},
    {id::kMenuSaveScript, saveScriptCommand},
    {id::kMenuSaveWave, saveWaveCommand},
    {id::kTurnOnOff, turnOnOffCommand},
    {id::kEscapeKey, closeCommand},
    {id::kReturnKey, applyFocusedField},
    {id::kUndo, undoOrRedoCommand},
    {id::kRedo, undoOrRedoCommand},
    {id::kMenuMixer, mixerCommand, RunsIn::MenuItem},
    {id::kMenuAudioDevices, audioDevicesCommand, RunsIn::MenuItem},
    {id::kMenuSelectSoundcard, soundcardCommand, RunsIn::MenuItem},
};

const CommandRoute* routeOf(std::int32_t command) {
    for (const CommandRoute& route : kCommandRoutes) {
        if (route.id == command) {
            return &route;
        }
    }
    return nullptr;
}

void onCommand(MainWindow& state, std::uint32_t wParam) {
    const auto command = static_cast<std::int32_t>(msg::loWord(wParam));
    const CommandRoute* route = routeOf(command);
    if (route != nullptr && route->runsIn == RunsIn::Window) {
        route->run(state, command);
    }
}

// The item handler of a menu item whose command runs there.
ui::Handler itemHandler(MainWindow& state, const CommandRoute& route) {
    return [&state, run = route.run, command = route.id](ui::Window, std::uint32_t, std::uint32_t,
                                                         std::int32_t) {
        run(state, command);
        return 0;
    };
}

struct MenuItem {
    const char* text;
    std::int32_t id; // 0: a separator
};

void addPopup(MainWindow& state, ui::Menu bar, const char* title,
              std::initializer_list<MenuItem> items, bool rightJustified = false) {
    const ui::Menu popup = ui::menuNew(false);
    for (const MenuItem& item : items) {
        const CommandRoute* route = routeOf(item.id);
        ui::menuAdd(popup, item.text, item.id, 0, true,
                    route != nullptr && route->runsIn == RunsIn::MenuItem
                        ? itemHandler(state, *route)
                        : ui::Handler{});
    }
    ui::menuAdd(bar, title, 0, popup, true, {}, rightJustified);
}

void addMenus(ui::Window window, MainWindow& state) {
    const ui::Menu bar = ui::menuNew(true);
    // "&" marks the letter that opens a menu or chooses an item with the keyboard; it is
    // not shown.
    addPopup(state, bar, "&File",
             {{"&Open pattern file", id::kMenuOpen},
              {"&Generate pattern...", id::kMenuGenerate},
              {"-", 0},
              {"Save as pattern file .&TXT", id::kMenuSavePattern},
              {"Save as .S&CP", id::kMenuSaveScript},
              {"Save as .&WAV", id::kMenuSaveWave}});
    addPopup(state, bar, "&Soundcard",
             {{"&Mixer", id::kMenuMixer},
              {"&Audio Devices", id::kMenuAudioDevices},
              {"&SelectSoundcard", id::kMenuSelectSoundcard}});
    addPopup(state, bar, "&PTT",
             {{"&PTT", id::kMenuPtt},
              {"&Timing...", id::kMenuTiming},
              {"PTT &options...", id::kMenuPttOptions}});
    addPopup(state, bar, "&View", {{"&Preview", id::kMenuPreview}});
    addPopup(state, bar, "&Help", {{"&About", id::kMenuAbout}, {"&Help", id::kMenuHelp}}, true);
    ui::menuAttach(window, bar);
}

constexpr const char* kLogCaption = "Transmission log";

// Opens the log for appending; one that cannot be opened is reported and playback goes on
// without it.
void openTransmissionLog(MainWindow& state) {
    if (state.transmissionLogPath.empty()) {
        return;
    }
    if (const Result<> opened = state.session->openLog(state.transmissionLogPath); !opened) {
        ui::messageBox(opened.message() + "\r\nTransmissions are not logged in this run.",
                       msg::MB_OK | msg::MB_ICONWARNING, "Transmission log");
    }
}

std::int32_t dispatch(MainWindow& state, std::uint32_t message, std::uint32_t wParam,
                      std::int32_t lParam) {
    switch (message) {
    case msg::WM_INITDIALOG:
        initialiseMainWindow(state);
        return 1;
    case msg::WM_HSCROLL: {
        const std::int32_t control = ui::controlId(lParam);
        if (control == id::kMoveWindow) {
            onGraphScroll(state.mainWindow, msg::loWord(wParam),
                          static_cast<std::int32_t>(msg::hiWord(wParam)), state.gridScroll);
        } else if (control == id::kOutputLevel) {
            onOutputLevelScroll(state, msg::loWord(wParam), msg::hiWord(wParam));
        }
        return 0;
    }
    case msg::WM_COMMAND:
        onCommand(state, wParam);
        return 0;
    case msg::WM_SYSCOMMAND:
        return wParam == msg::SC_CLOSE && closeRequest(state) ? 1 : 0;
    case msg::WM_MOUSEMOVE:
        onMouseMove(state.mainWindow, msg::mouseX(lParam), msg::mouseY(lParam), state.gridScroll);
        return 0;
    case msg::WM_LBUTTONUP:
        return 0;
    case msg::WM_LBUTTONDOWN:
    case msg::WM_RBUTTONDOWN:
        editSlot(state, message, lParam);
        return 0;
    case msg::WM_DESTROY:
        shutdownMainWindow(state);
        return 0;
    default:
        return 0;
    }
}

} // namespace

ui::Window createMainWindow(MainWindow& state) {
    const ui::Window window =
        ui::dialogNew(ui::Units::Pixels, 0, kMainCaption, ui::kCentred, ui::kCentred, kClientWidth,
                      kClientHeight, WS_POPUP | WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0);
    state.mainWindow = window;
    ui::windowSetIcon(window, {":/icons/icon1-32.png", ":/icons/icon1-16.png"});
    addControls(window);
    addToolTips(window);
    addMenus(window, state);
    constexpr std::uint32_t kKeyO = 0x4F, kKeyS = 0x53, kKeyY = 0x59, kKeyZ = 0x5A, kKeyF1 = 0x70;
    ui::acceleratorsAttach(window, {{ui::FCONTROL, kKeyZ, id::kUndo},
                                    {ui::FCONTROL, kKeyY, id::kRedo},
                                    {ui::FCONTROL | ui::FSHIFT, kKeyZ, id::kRedo},
                                    {ui::FCONTROL, kKeyO, id::kMenuOpen},
                                    {ui::FCONTROL, kKeyS, id::kMenuSavePattern},
                                    {0, kKeyF1, id::kMenuHelp}});
    state.document.setListener(
        [&state](const PatternChange& change) { showDocumentChange(state, change); });
    return window;
}

ui::Handler mainWindowHandler(MainWindow& state) {
    return [&state](ui::Window, std::uint32_t message, std::uint32_t wParam, std::int32_t lParam) {
        return dispatch(state, message, wParam, lParam);
    };
}

void initialiseMainWindow(MainWindow& state) {
    const ui::Window w = state.mainWindow;
    state.settings.setProblemHook(showSettingsProblem);
    readRememberedSettings(state);
    startPttPort(*state.session, state.settings.pttComport(), state.settings.pttChoice());
    openTransmissionLog(state);

    ui::scrollSetRange(w, id::kMoveWindow, 0, kGridScrollMax, false);
    ui::scrollSetPos(w, id::kMoveWindow, kGridScrollOrigin, true);

    state.outputLevel = 90.0f;
    state.amplitude = amplitudeForLevel(state.outputLevel);
    ui::scrollSetRange(w, id::kOutputLevel, 0, 100, false);
    ui::scrollSetPos(w, id::kOutputLevel, 90, true);
    ui::controlSetText(w, id::kLevelReadout, levelReadout(state.outputLevel));

    state.session->resetDotCounter(false);
    // The document starts with the start pattern: its parameters go into their fields.
    showParameters(state);

    ui::controlSetCheck(w, id::kPen0dB, true);
    state.gridScroll = kGridScrollOrigin;
    state.penLevelCode = 1;

    drawDotScale(w);
    redraw(state);
    applyRememberedSettings(state);
    restFocus(state);
}

void shutdownMainWindow(MainWindow& state) {
    // A transmitter is never left keyed by this program, and a transmission cut short still
    // goes to the log.
    state.session->shutdown();
    // Nobody is left to tell of a failure at this point: the window has gone.
    state.settings.finish();
    // A level still being dragged when a signal came.
    state.settings.setOutputLevel(state.outputLevel);
}

void buildMainWindow(MainWindow& state) {
    const ui::Window window = createMainWindow(state);
    ui::dialogShowModal(window, mainWindowHandler(state), nullptr);
}

} // namespace vesk
