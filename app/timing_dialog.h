// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tone/clock_timing.h"
#include "ui/toolkit.h"

#include <cstdint>
#include <optional>

namespace vesk {

namespace timing_id {
inline constexpr std::int32_t kEvery = 100;
inline constexpr std::int32_t kOffset = 101;
inline constexpr std::int32_t kOk = 102;
inline constexpr std::int32_t kCancel = 103;
} // namespace timing_id

// The interval list's first entry: cycles follow the pattern's repeat interval.
inline constexpr const char* kRepeatIntervalChoice = "Repeat interval (not on the clock)";

// Asks over `owner` when transmissions start: at the repeat interval, or every so many minutes
// plus an offset in seconds on the UTC clock. A timing that cannot be kept is refused with a
// message and the box stays. Null when cancelled. `window` holds the box while it is open.
std::optional<ClockTiming> askClockTiming(ui::Window owner, const ClockTiming& current,
                                          ui::Window* window = nullptr);

} // namespace vesk
