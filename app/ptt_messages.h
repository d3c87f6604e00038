// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/ptt.h"
#include "devices/ptt_choice.h"
#include "ui/toolkit.h"

#include <cstdint>
#include <string>

namespace vesk {

// Control id of the PTT status label in the main window.
inline constexpr std::int32_t kPttLabelId = 2501;

// The window side of the PTT port: label 2501 of `window` shows "PTT ON" in red or "PTT OFF"
// in blue after each keying operation.
void showPttLabel(Ptt& ptt, ui::Window window);
// The notice of a keyer that did not open: "Failure to open comport", then the port, its
// device and the reason ("COM 7 (/dev/ttyUSB0): Permission denied"); for a rig, the rig's
// sentence under "Failure to open the rig".
std::string pttOpenFailureText(std::int32_t comport, const PttChoice& choice,
                               const Result<>& opened);
// First open at start-up of the keyer `choice` names, with its two notices (no port set /
// failure), system-modal.
void startPttPort(Ptt& ptt, std::int32_t comport, const PttChoice& choice);
// Closes and reopens the keyer after a comport or PTT choice; the failure notice on failure.
bool reopenPttPort(Ptt& ptt, std::int32_t comport, const PttChoice& choice);
// The operator's notice of ptt.failure(), a message box like the open failure's.
void reportPttFailure(const Ptt& ptt);

} // namespace vesk
