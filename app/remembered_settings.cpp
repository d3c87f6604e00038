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

void showSettingsProblem(SettingsStore::Problem problem, const std::string& reason) {
    constexpr std::uint32_t kStyle = msg::MB_OK | msg::MB_ICONWARNING;
    switch (problem) {
    case SettingsStore::Problem::ComportUnreadable:
        ui::messageBox(reason +
                           "\r\nThe file is left as it is: the PTT port chosen now is not saved.",
                       kStyle, "Comport");
        break;
    case SettingsStore::Problem::SettingsUnreadable:
        ui::messageBox(reason +
                           "\r\nThe file is left as it is: settings changed now are not saved.",
                       kStyle, kCaption);
        break;
    case SettingsStore::Problem::SaveFailed:
        ui::messageBox(reason, kStyle, kCaption);
        break;
    }
}

void readRememberedSettings(MainWindow& state) {
    state.settings.readSettingsFile();
    state.document.setLastPatternFile(state.settings.lastPattern());
}

void applyRememberedSettings(MainWindow& state) {
    SettingsStore& settings = state.settings;
    if (settings.outputLevel()) {
        state.outputLevel = *settings.outputLevel();
        showOutputLevel(state);
    }
    // The level in use is remembered, also when the file had none.
    settings.setOutputLevel(state.outputLevel);
    if (const std::string& name = settings.soundOutput(); !name.empty()) {
        const std::vector<std::string> outputs = state.outputDevices();
        const auto found = std::find(outputs.begin(), outputs.end(), name);
        if (found != outputs.end()) {
            state.soundcardIndex = static_cast<std::int32_t>(found - outputs.begin());
        } else {
            // The name stays remembered: the output may be plugged in again by the next start.
            state.soundcardIndex = -1;
            ui::messageBox("The sound output \"" + name +
                               "\" is not there.\r\nThe system's default output is used.",
                           msg::MB_OK | msg::MB_ICONWARNING, kCaption);
        }
    }
    state.session->setClockTiming(settings.clockTiming());
    state.session->setMaxKeyMs(settings.maxKeySeconds() * 1000);
    settings.markShown();
    const std::string lastPattern = settings.lastPattern();
    std::error_code error;
    if (!lastPattern.empty() && std::filesystem::is_regular_file(lastPattern, error)) {
        openPatternPath(state, lastPattern);
    }
}

} // namespace vesk
