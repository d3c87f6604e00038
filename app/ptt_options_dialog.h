// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/cat/rig_models.h"
#include "devices/ptt_choice.h"
#include "ui/toolkit.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace vesk {

namespace ptt_options_id {
inline constexpr std::int32_t kDtrRts = 100;
inline constexpr std::int32_t kDtr = 101;
inline constexpr std::int32_t kRts = 102;
inline constexpr std::int32_t kCat = 103;
inline constexpr std::int32_t kInverted = 104;
inline constexpr std::int32_t kSearch = 105;
inline constexpr std::int32_t kModel = 106;
inline constexpr std::int32_t kDevice = 107;
inline constexpr std::int32_t kSpeed = 108;
inline constexpr std::int32_t kOk = 109;
inline constexpr std::int32_t kCancel = 110;
} // namespace ptt_options_id

// Asks over `owner` how the transmitter is keyed: by the PTT port's lines (both, DTR or RTS,
// inverted or not) or by CAT command to a Hamlib rig picked from `models` (narrowed by the
// search field), with its device or rigctld's host:port and its speed. A choice that cannot
// be opened as it stands is refused with a message and the box stays. Null when cancelled.
// `window` holds the box while it is open.
std::optional<PttChoice>
askPttChoice(ui::Window owner, const PttChoice& current, ui::Window* window = nullptr,
             const std::function<std::vector<RigModelEntry>()>& models = hamlibRigModels);

} // namespace vesk
