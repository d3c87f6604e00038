// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/app_main.h"

#include "app/command_line.h"
#include "app/file_commands.h"
#include "app/main_commands.h"
#include "app/main_window.h"
#include "app/pattern_views.h"
#include "app/ptt_messages.h"
#include "devices/cat/keyer_opener.h"
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
constexpr const char* kLogCaption = "Transmission log";

// The session as the main window shows it.
class WindowSessionView : public SessionView {
public:
    explicit WindowSessionView(MainWindow& state) : state_(state) {}

    void playingChanged(bool playing) override {
        ui::controlSetText(state_.mainWindow, id::kTurnOnOff,
                           playing ? kTurnOffCaption : kTurnOnCaption);
    }
    void parametersLocked(bool locked) override {
        for (const std::int32_t control :
             {id::kDotLengthApply, id::kDotCountApply, id::kSpacingApply, id::kCentreApply,
              id::kRepeatApply, id::kReset}) {
            ui::controlEnable(state_.mainWindow, control, !locked);
        }
    }
    void cycleRestarted() override {
        vesk::redrawPatternViews(state_.mainWindow, state_.document.pattern(), state_.penLevelCode);
    }
    void showProgress(const CycleProgress& progress) override {
        drawCycleProgress(state_.mainWindow, progress);
    }
    void renderProgress(int blocks) override {
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
    void keyingChanged(bool keyed) override {
        keyed_ = keyed;
        showPttState(state_.mainWindow, keyed_, missing_);
    }
    // A keyer that did not open or went away is never shown keyed.
    void keyerChanged(bool missing, const std::string&) override {
        missing_ = missing;
        showPttState(state_.mainWindow, keyed_, missing_);
    }
    // What the beacon waits for shows after the file name until it plays again.
    void waitingChanged(BeaconWait what, const std::string& reason, bool) override {
        wait_.clear();
        if (what != BeaconWait::None) {
            wait_ = std::string("   [waiting for ") +
                    (what == BeaconWait::SoundOutput ? "the sound output" : "the keyer") +
                    (reason.empty() ? "" : ": " + reason) + "]";
        }
        showTitle();
    }
    // A cycle with gaps in its sound says so after the file name until a clean cycle follows.
    void cyclePlayed(long cycle, std::int64_t underruns) override {
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
    void nextTransmission(UtcNanoseconds at) override {
        const std::string next = at >= 0 ? "   [next: " + formatUtcTime(at) + "]" : "";
        if (next != next_) {
            next_ = next;
            showTitle();
        }
    }
    void problem(SessionProblem kind, const std::string& message) override {
        switch (kind) {
        case SessionProblem::OpenFailed:
            ui::beep();
            ui::messageBox(std::string(platform::kOpenFailureText) + "\r\n" + message,
                           msg::MB_OK | msg::MB_ICONWARNING, kPlaybackCaption);
            break;
        case SessionProblem::RenderRefused:
            ui::messageBox(message, msg::MB_OK | msg::MB_ICONERROR, kPlaybackCaption);
            break;
        case SessionProblem::WatchdogTripped:
        case SessionProblem::SoundLost:
        case SessionProblem::KeyerLost:
            ui::messageBox(message, msg::MB_OK | msg::MB_ICONWARNING, kPlaybackCaption);
            break;
        case SessionProblem::KeyingFailed:
            reportPttFailure(message);
            break;
        case SessionProblem::LogFailed:
            ui::messageBox(message, msg::MB_OK | msg::MB_ICONWARNING, kLogCaption);
            break;
        }
    }
    // The close request that waited for the output to close.
    void ended() override { ui::dialogEnd(state_.mainWindow, 0); }

private:
    void showTitle() {
        state_.titleNotes = gaps_ + next_ + wait_;
        vesk::showTitle(state_);
    }

    MainWindow& state_;
    std::string gaps_, next_, wait_;
    bool keyed_ = false;
    bool missing_ = false;
};

} // namespace

void attachResources(MainWindow& state,
                     std::function<std::unique_ptr<platform::AudioOut>()> makeAudio,
                     KeyerOpener keyers, SessionHost::Thread thread) {
    state.session = std::make_unique<SessionHost>(
        [&makeAudio, &keyers] {
            return std::make_unique<BeaconSession>(makeAudio(), platform::makeDotTimer,
                                                   std::make_unique<Ptt>(std::move(keyers)));
        },
        thread);
    state.sessionView = std::make_unique<WindowSessionView>(state);
    state.session->addView(*state.sessionView);
    // The sound system is asked on the session's thread only.
    state.outputDevices = [&state] {
        return state.session->outputDevices();
    };
}

void loadSettings(MainWindow& state, const std::string& folder) {
    state.settings.readComportFile((std::filesystem::path(folder) / kComportSettingsFile).string());
}

int appMain(int argc, char** argv) {
    StartOptions options;
    if (const int status = readCommandLine(argc, argv, options, std::cout, std::cerr);
        status >= 0) {
        return status;
    }
    ui::initialise(argc, argv, kClientWidth, kClientHeight);
    MainWindow state;
    if (const Result<std::string> folder = settingsFolder(options); folder) {
        loadSettings(state, *folder);
    } else {
        state.settings.refuseComportFile(folder.message());
    }
    state.settings.setSettingsFile(defaultStationSettingsPath());
    state.transmissionLogPath = defaultTransmissionLogPath();
    attachResources(state, platform::makeAudioOut, keyerOpener());
    // A logout, a shutdown, a closed terminal or a quit key ends the program as Escape would,
    // minus the wait for the queued sound: lines released and settings written first, then
    // every window's loop, modal boxes included, returns. Held since the program's first code, a
    // signal that came meanwhile is handled once the loop runs. A second signal ends it the
    // kernel's way.
    platform::SignalWatch signalWatch({SIGHUP, SIGINT, SIGQUIT, SIGTERM},
                                      [&state, &signalWatch](int) {
                                          signalWatch.stopWatching();
                                          shutdownMainWindow(state);
                                          ui::leaveAllModalRuns();
                                      });
    buildMainWindow(state);
    return 0;
}

} // namespace vesk
