// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tone/pattern.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>

namespace vesk {

// The start pattern, silent, with the given dot length and count.
inline BeaconPattern silentPattern(std::int32_t dotLength, std::int32_t dotCount) {
    BeaconPattern pattern = startPattern();
    pattern.dotLength = dotLength;
    pattern.dotCount = dotCount;
    return pattern;
}

inline void setDots(BeaconPattern& pattern, int from, int to, float row, float code) {
    for (int slot = from; slot <= to; ++slot) {
        pattern.toneIndex[static_cast<std::size_t>(slot)] = row;
        pattern.levelCode[static_cast<std::size_t>(slot)] = code;
    }
}

// Patterns as a file may hold them: odd dot lengths, frequencies beyond half the rate or
// below 0, and with `unusual`, level codes besides 0, 1, 2, 4, 8, 16.
struct RandomPatternCase {
    std::int32_t dotLength, dotCount, amplitude;
    float spacing, centre;
    bool unusual;
};
inline constexpr RandomPatternCase kRandomPatternCases[] = {
    {100, 600, 10362, 10.0f, 1000.0f, false}, {125, 600, 32767, 10.0f, 1000.0f, false},
    {1, 600, 32767, 10.0f, 1000.0f, false},   {7, 300, 3277, 25.0f, 1800.0f, false},
    {333, 40, 32767, 3.0f, 700.0f, false},    {100, 600, 0, 10.0f, 1000.0f, false},
    {100, 200, 32767, 10.0f, -400.0f, true},  {50, 200, 32767, 3000.0f, 21000.0f, true},
    {100, 100, 20000, 1.0e6f, 3.0e7f, true},
};

// Random rows (below 1: a silent dot) and level codes for every dot of the case.
inline BeaconPattern randomPattern(const RandomPatternCase& c, std::mt19937& random) {
    const float usual[] = {1.0f, 2.0f, 4.0f, 8.0f, 16.0f, 0.0f};
    const float odd[] = {0.5f, 3.0f, -2.0f, 1e-40f, std::nanf(""), 0.75f};
    std::uniform_int_distribution<int> row(-4, 16), pick(0, 5);
    BeaconPattern pattern = silentPattern(c.dotLength, c.dotCount);
    pattern.frequencySpacing = c.spacing;
    pattern.centreFrequency = c.centre;
    for (int d = 0; d <= c.dotCount; ++d) {
        setDots(pattern, d, d, static_cast<float>(std::max(row(random), 0)),
                c.unusual && pick(random) == 0 ? odd[pick(random)] : usual[pick(random)]);
    }
    return pattern;
}

} // namespace vesk
