// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/toolkit.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vesk {

// Control ids of the soundcard selection; Cancel is IDCANCEL, which Escape sends too.
namespace soundcard_id {
inline constexpr std::int32_t kDeviceList = 2040;
inline constexpr std::int32_t kOk = 4321;
inline constexpr std::int32_t kCancel = 2;
} // namespace soundcard_id

// The list's first entry: the system's default output (index -1).
inline constexpr const char* kSystemDefaultEntry = "System default output";

// The SelectSoundcard command: a modal tool window over the main window (which is disabled
// meanwhile) listing the system default output, then `deviceNames` in platform order; it
// opens at the output in use, `soundcardIndex` (-1: the default). OK with another entry
// selected stores it in `soundcardIndex` and calls `stopPlayback` (which stops playback when it
// runs); any other OK, Cancel, Escape and the close box change nothing. `soundcardWindow`,
// when given, holds the dialog while it exists and 0 afterwards.
void selectSoundcard(ui::Window mainWindow, std::int32_t& soundcardIndex,
                     const std::vector<std::string>& deviceNames,
                     const std::function<void()>& stopPlayback,
                     ui::Window* soundcardWindow = nullptr);

} // namespace vesk
