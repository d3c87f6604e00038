// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/ptt.h"
#include "ui/toolkit.h"

#include <cstdint>

namespace vesk {

// Control id of the PTT status label in the main window.
inline constexpr std::int32_t kPttLabelId = 2501;

// The window side of the PTT port: label 2501 of `window` shows "PTT ON" in red or "PTT OFF"
// in blue after each keying operation.
void showPttLabel(Ptt& ptt, ui::Window window);
// First open at start-up, with its two notices (no port set / failure), system-modal.
void startPttPort(Ptt& ptt, std::int32_t comport);
// Closes and reopens the port after a comport choice; "Failure to open comport" on failure.
void reopenPttPort(Ptt& ptt, std::int32_t comport);
// The operator's notice of ptt.failure(), a message box like the open failure's.
void reportPttFailure(const Ptt& ptt);

} // namespace vesk
