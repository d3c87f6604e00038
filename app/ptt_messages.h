// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/session_host.h"
#include "devices/ptt_choice.h"
#include "ui/toolkit.h"

#include <cstdint>
#include <string>

namespace vesk {

// Control id of the PTT status label in the main window.
inline constexpr std::int32_t kPttLabelId = 2501;

// Label 2501 of `window`: "PTT ON" in red when keyed, "PTT OFF" in blue when released, and
// "NO PTT" in grey while the keyer chosen is missing (nothing can be keyed).
void showPttState(ui::Window window, bool keyed, bool missing = false);
// Label 2501 while a keyer is being opened: "PTT ..." in grey.
void showPttOpening(ui::Window window);
// The notice of a keyer that did not open: "Failure to open comport", then the port, its
// device and the reason ("COM 7 (/dev/ttyUSB0): Permission denied"); for a rig, the rig's
// sentence under "Failure to open the rig".
std::string pttOpenFailureText(std::int32_t comport, const PttChoice& choice,
                               const Result<>& opened);
// First open at start-up of the keyer `choice` names, with its two notices (no port set /
// failure), system-modal.
void startPttPort(SessionHost& session, std::int32_t comport, const PttChoice& choice);
// Closes and reopens the keyer after a comport or PTT choice; the failure notice on failure.
void reopenPttPort(SessionHost& session, ui::Window window, std::int32_t comport,
                   const PttChoice& choice);
// The operator's notice of a keying that failed (`failure` names the port or rig and why), a
// message box like the open failure's.
void reportPttFailure(const std::string& failure);

} // namespace vesk
