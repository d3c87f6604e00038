// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/toolkit.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vesk {

// Control ids of the soundcard selection.
namespace soundcard_id {
inline constexpr std::int32_t kDeviceList = 2040;
inline constexpr std::int32_t kOk = 4321;
} // namespace soundcard_id

// The SelectSoundcard command: a modal tool window over the main window (which is disabled
// meanwhile) listing `deviceNames` in platform order. `stopPlayback` is called as the dialog
// opens and again on OK; it stops playback when playback runs and does nothing otherwise. OK
// stores the selected entry in `soundcardIndex` (-1 when none is selected); the close box
// leaves it unchanged. `soundcardWindow`, when given, holds the dialog while it exists and 0
// afterwards.
void selectSoundcard(ui::Window mainWindow, std::int32_t& soundcardIndex,
                     const std::vector<std::string>& deviceNames,
                     const std::function<void()>& stopPlayback,
                     ui::Window* soundcardWindow = nullptr);

} // namespace vesk
