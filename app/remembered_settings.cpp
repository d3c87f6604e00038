// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/remembered_settings.h"

#include "app/main_commands.h"
#include "ui/messages.h"

#include <algorithm>
#include <filesystem>

namespace vesk {

namespace {

constexpr const char* kCaption = "Settings";

} // namespace

void readRememberedSettings(AppState& state) {
    if (state.stationSettingsPath.empty()) {
        return;
    }
    const Result<StationSettings> read = loadStationSettings(state.stationSettingsPath);
    if (!read) {
        state.stationSettingsError = read.message();
        ui::messageBox(read.message() + "\r\nThe file is left as it is: settings changed now are "
                                        "not saved.",
                       msg::MB_OK | msg::MB_ICONWARNING, kCaption);
        return;
    }
    const StationSettings& s = *read;
    state.rememberedSettings = s;
    state.pttChoice = s.ptt;
    state.soundOutputName = s.soundOutput;
    state.lastPatternFile = s.lastPattern;
}

void applyRememberedSettings(AppState& state) {
    if (state.stationSettingsPath.empty() || !state.stationSettingsError.empty()) {
        return;
    }
    const StationSettings& s = state.rememberedSettings;
    if (s.outputLevel) {
        state.outputLevel = *s.outputLevel;
        showOutputLevel(state);
    }
    if (!s.soundOutput.empty()) {
        const std::vector<std::string> outputs = state.outputDevices();
        const auto found = std::find(outputs.begin(), outputs.end(), s.soundOutput);
        if (found != outputs.end()) {
            state.soundcardIndex = static_cast<std::int32_t>(found - outputs.begin());
        } else {
            // The name stays remembered: the output may be plugged in again by the next start.
            state.soundcardIndex = -1;
            ui::messageBox("The sound output \"" + s.soundOutput +
                               "\" is not there.\r\nThe system's default output is used.",
                           msg::MB_OK | msg::MB_ICONWARNING, kCaption);
        }
    }
    state.sequencer->setClockTiming(s.clock);
    state.rememberedSettingsShown = true;
    std::error_code error;
    if (!s.lastPattern.empty() && std::filesystem::is_regular_file(s.lastPattern, error)) {
        openPatternPath(state, s.lastPattern);
    }
}

StationSettings currentSettings(const AppState& state) {
    StationSettings s;
    s.soundOutput = state.soundOutputName;
    s.outputLevel = state.outputLevel;
    s.lastPattern = state.lastPatternFile;
    s.ptt = state.pttChoice;
    s.clock = state.sequencer ? state.sequencer->clockTiming() : ClockTiming{};
    return s;
}

void rememberSettings(AppState& state, bool report) {
    if (state.stationSettingsPath.empty() || !state.stationSettingsError.empty() ||
        !state.rememberedSettingsShown) {
        return;
    }
    const StationSettings now = currentSettings(state);
    if (now == state.rememberedSettings) {
        return;
    }
    state.rememberedSettings = now;
    if (const Result<> saved = saveStationSettings(state.stationSettingsPath, now); !saved) {
        // Said once: the next change tries again without a box each time.
        if (report && !state.settingsSaveFailed) {
            ui::messageBox(saved.message(), msg::MB_OK | msg::MB_ICONWARNING, kCaption);
        }
        state.settingsSaveFailed = true;
    }
}

} // namespace vesk
