// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/app_main.h"

#include "app/command_line.h"
#include "app/file_commands.h"
#include "app/main_window.h"
#include "app/pattern_views.h"
#include "devices/settings_file.h"
#include "platform/signal_watch.h"
#include "ui/messages.h"

#include <csignal>
#include <filesystem>
#include <iostream>

namespace vesk {

namespace {

// The Turn On/Off button's captions, and the caption of playback's message boxes.
constexpr const char* kTurnOnCaption = "Turn On";
constexpr const char* kTurnOffCaption = "Turn Off";
constexpr const char* kPlaybackCaption = "Generator";

// Timer 0 of the main window: its ticks come back as WM_TIMER 0.
class WindowDotTimer : public DotTimer {
public:
    explicit WindowDotTimer(AppState& state) : state_(state) {}
    void start(int milliseconds) override { ui::timerSet(state_.mainWindow, 0, milliseconds); }
    void stop() override { ui::timerKill(state_.mainWindow, 0); }

private:
    AppState& state_;
};

// Playback as the main window shows it.
class WindowSequencerView : public SequencerView {
public:
    explicit WindowSequencerView(AppState& state) : state_(state) {}

    void showPlaying(bool playing) override {
        state_.playing = playing;
        ui::controlSetText(state_.mainWindow, id::kTurnOnOff,
                           playing ? kTurnOffCaption : kTurnOnCaption);
    }
    void enableParameterControls(bool enabled) override {
        for (const std::int32_t control :
             {id::kDotLengthApply, id::kDotCountApply, id::kSpacingApply, id::kCentreApply,
              id::kRepeatApply, id::kReset}) {
            ui::controlEnable(state_.mainWindow, control, enabled);
        }
    }
    void redrawPatternViews() override {
        vesk::redrawPatternViews(state_.mainWindow, state_.pattern, state_.penLevelCode);
    }
    void drawStripProgress(int dotCounter) override {
        vesk::drawStripProgress(state_.mainWindow, dotCounter);
    }
    void drawCycleBar(CycleBarColour colour, int x1, int x2) override {
        drawCycleBarBox(state_.mainWindow, colour == CycleBarColour::Red, x1, x2);
    }
    void showRenderProgress(int blocks) override {
        // Ten full blocks shrinking to none while the pattern renders.
        std::string title = "Processing, please wait... ";
        for (int i = 0; i < blocks && i < 10; ++i) {
            title += "\xE2\x96\x88";
        }
        ui::windowSetTitle(state_.mainWindow, title);
    }
    void renderFinished() override {
        gaps_.clear();
        showTitle();
    }
    // A cycle with gaps in its sound says so after the file name until a clean cycle follows.
    void cyclePlayed(long cycle, std::int64_t underruns) override {
        // A cycle kept keyed into the next still gets its own log line.
        state_.transmissionLogger->cycleEnded(cycle);
        if (underruns == 0 && gaps_.empty()) {
            return;
        }
        gaps_.clear();
        if (underruns > 0) {
            gaps_ = "   [cycle " + std::to_string(cycle) + ": " + std::to_string(underruns) +
                    (underruns == 1 ? " gap" : " gaps") + " in the sound]";
        }
        showTitle();
    }
    // On the clock the title names the next transmission's time until playback stops.
    void showNextTransmission(UtcNanoseconds at) override {
        const std::string next = at >= 0 ? "   [next: " + formatUtcTime(at) + "]" : "";
        if (next != next_) {
            next_ = next;
            showTitle();
        }
    }
    void reportOpenFailure(const std::string& reason) override {
        ui::beep();
        ui::messageBox(std::string(platform::kOpenFailureText) + "\r\n" + reason,
                       msg::MB_OK | msg::MB_ICONWARNING, kPlaybackCaption);
    }
    void reportRenderRefused(const std::string& message) override {
        ui::messageBox(message, msg::MB_OK | msg::MB_ICONERROR, kPlaybackCaption);
    }
    void reportDeviceLost() override {
        ui::messageBox(platform::kDeviceLostText, msg::MB_OK | msg::MB_ICONWARNING,
                       kPlaybackCaption);
    }
    void endMainWindow() override { ui::dialogEnd(state_.mainWindow, 0); }

private:
    void showTitle() {
        ui::windowSetTitle(state_.mainWindow,
                           std::string(kTitlePrefix) + state_.patternFileName + gaps_ + next_);
    }

    AppState& state_;
    std::string gaps_, next_;
};

std::uint32_t messageFor(platform::AudioEvent event) {
    switch (event) {
    case platform::AudioEvent::Opened:
        return msg::MM_WOM_OPEN;
    case platform::AudioEvent::BlockDone:
        return msg::MM_WOM_DONE;
    case platform::AudioEvent::Closed:
        return msg::MM_WOM_CLOSE;
    case platform::AudioEvent::Lost:
        break;
    }
    return kDeviceLostMessage;
}

} // namespace

void attachResources(AppState& state, std::unique_ptr<platform::AudioOut> audio,
                     std::unique_ptr<platform::SerialLines> lines) {
    state.audio = std::move(audio);
    state.ptt = std::make_unique<Ptt>(std::move(lines));
    state.transmissionLog = std::make_unique<TransmissionLogFile>();
    state.transmissionLogger = std::make_unique<TransmissionLogger>(
        *state.ptt, [&state](const TransmissionRecord& record) {
            if (!state.transmissionLog->isOpen()) {
                return;
            }
            const Result<> written = state.transmissionLog->append(transmissionLine(record));
            // The sequencer is mid-call: the notice waits for the window's loop.
            if (!written && state.transmissionLogError.empty()) {
                state.transmissionLogError = written.message();
                ui::postMessage(state.mainWindow, kLogFailureMessage, 0, 0);
            }
        });
    state.transmissionLogger->setUnderrunCounter([&state] { return state.audio->underruns(); });
    state.dotTimer = std::make_unique<WindowDotTimer>(state);
    state.sequencerView = std::make_unique<WindowSequencerView>(state);
    state.sequencer = std::make_unique<Sequencer>(*state.audio, *state.dotTimer,
                                                  *state.transmissionLogger, *state.sequencerView);
    state.sequencer->setAudioRoute([&state](platform::AudioEvent event, int block) {
        ui::postMessage(state.mainWindow, messageFor(event), 0, block);
    });
    state.ptt->setFailureHook(
        [&state] { ui::postMessage(state.mainWindow, kPttFailureMessage, 0, 0); });
}

void loadSettings(AppState& state, const std::string& folder) {
    state.settingsPath = (std::filesystem::path(folder) / kComportSettingsFile).string();
    const Result<std::int32_t> comport = loadComportSetting(state.settingsPath);
    state.pttComport = comport.valueOr(0);
    state.settingsError = comport.message();
}

int appMain(int argc, char** argv) {
    StartOptions options;
    if (const int status = readCommandLine(argc, argv, options, std::cout, std::cerr);
        status >= 0) {
        return status;
    }
    ui::initialise(argc, argv, kClientWidth, kClientHeight);
    AppState state;
    if (const Result<std::string> folder = settingsFolder(options); folder) {
        loadSettings(state, *folder);
    } else {
        state.settingsError = folder.message();
    }
    state.stationSettingsPath = defaultStationSettingsPath();
    state.transmissionLogPath = defaultTransmissionLogPath();
    attachResources(state, platform::makeAudioOut(), std::make_unique<platform::SerialLines>());
    // A logout, a shutdown or a closed terminal ends the program as Escape would, minus the
    // wait for the queued sound: lines released and settings written first, then every
    // window's loop, modal boxes included, returns. A second signal ends it the kernel's way.
    platform::SignalWatch signalWatch({SIGHUP, SIGINT, SIGTERM}, [&state, &signalWatch](int) {
        signalWatch.stopWatching();
        shutdownMainWindow(state);
        ui::leaveAllModalRuns();
    });
    buildMainWindow(state);
    return 0;
}

} // namespace vesk
