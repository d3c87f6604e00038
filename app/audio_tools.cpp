// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/audio_tools.h"

#include "platform/process.h"
#include "ui/messages.h"
#include "ui/toolkit.h"

#include <string>
#include <utility>
#include <vector>

namespace vesk {

namespace {

struct ToolCommand {
    const char* program;
    std::vector<std::string> arguments;
};

// The desktop's sound settings open on their output page and carry the volume controls too,
// so they serve both commands when no dedicated mixer is installed.
std::vector<ToolCommand> desktopSoundSettings() {
    return {
        {"gnome-control-center", {"sound"}},
        {"kcmshell5", {"kcm_pulseaudio"}},
        {"mate-volume-control", {}},
        {"cinnamon-settings", {"sound"}},
    };
}

std::vector<ToolCommand> withDesktopSettings(std::vector<ToolCommand> first) {
    for (ToolCommand& tool : desktopSoundSettings()) {
        first.push_back(std::move(tool));
    }
    return first;
}

const char* const kInstallHint = "Install pavucontrol (apt-get install pavucontrol).";

// Starts the first candidate that is installed; an installed one that fails to start gives
// way to the next. False when none started; `failed` then names the last installed one that
// would not start ("" when none is installed).
bool startFirstInstalled(const std::vector<ToolCommand>& candidates, std::string& failed) {
    failed.clear();
    for (const ToolCommand& tool : candidates) {
        const std::string path = platform::findExecutable(tool.program);
        if (path.empty()) {
            continue;
        }
        if (platform::startDetached(path, tool.arguments)) {
            return true;
        }
        failed = tool.program;
    }
    return false;
}

void startTool(const std::vector<ToolCommand>& candidates, const std::string& what,
               const std::string& caption) {
    std::string failed;
    if (startFirstInstalled(candidates, failed)) {
        return;
    }
    if (failed.empty()) {
        ui::messageBox("No " + what + " program was found.\n" + kInstallHint,
                       msg::MB_OK | msg::MB_ICONINFORMATION, caption);
    } else {
        ui::messageBox("The " + what + " program " + failed + " could not be started.",
                       msg::MB_OK | msg::MB_ICONWARNING, caption);
    }
}

} // namespace

void openMixer() {
    // pavucontrol's tab 1 lists the programs that play sound with their volumes.
    startTool(withDesktopSettings({{"pavucontrol", {"--tab=1"}}, {"pavucontrol-qt", {}}}),
              "audio mixer", "Mixer");
}

void openAudioDevices() {
    // pavucontrol's tab 3 lists the output devices.
    startTool(withDesktopSettings({{"pavucontrol", {"--tab=3"}}, {"pavucontrol-qt", {}}}),
              "audio device settings", "Audio Devices");
}

} // namespace vesk
