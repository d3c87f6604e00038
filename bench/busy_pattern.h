// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tone/pattern.h"

#include <cstddef>
#include <cstdint>

namespace vesk {

// Every dot a tone; rows walk the whole ladder, levels change every few dots so that the level
// ramps are exercised as often as a busy real pattern would.
inline BeaconPattern busyPattern(std::int32_t dotLength) {
    BeaconPattern pattern = startPattern();
    pattern.dotLength = dotLength;
    constexpr float kLevels[] = {1.0f, 2.0f, 4.0f, 8.0f, 16.0f};
    for (int d = 0; d < kSlotCount; ++d) {
        const auto slot = static_cast<std::size_t>(d);
        pattern.toneIndex[slot] = static_cast<float>(1 + (d * 7) % kToneRows);
        pattern.levelCode[slot] = kLevels[(d / 3) % 5];
    }
    return pattern;
}

} // namespace vesk
