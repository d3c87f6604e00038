// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone/pattern.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace vesk {

namespace {

BeaconPattern silentPattern(std::int32_t dotCount, std::int32_t repeatDots) {
    BeaconPattern pattern;
    pattern.toneIndex.fill(0.0f);
    pattern.levelCode.fill(1.0f);
    pattern.dotLength = 100;
    pattern.dotCount = dotCount;
    pattern.frequencySpacing = 10.0f;
    pattern.centreFrequency = 1000.0f;
    pattern.repeatDots = repeatDots;
    return pattern;
}

} // namespace

BeaconPattern startPattern() {
    return silentPattern(600, 600);
}

BeaconPattern resetPattern() {
    return silentPattern(100, 200);
}

float toneFrequency(const BeaconPattern& pattern, int slot) {
    // Single precision and this order of operations on purpose: the tone of a row is fixed by
    // exactly this evaluation, and the render's phase steps follow from it.
    const float t = pattern.toneIndex[static_cast<std::size_t>(slot)];
    return pattern.centreFrequency - pattern.frequencySpacing * t + 8.0f * pattern.frequencySpacing;
}

double levelGain(const BeaconPattern& pattern, int slot) {
    return 1.0 / static_cast<double>(pattern.levelCode[static_cast<std::size_t>(slot)]);
}

std::int32_t roundToInt32(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= 2147483647.0) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (value <= -2147483648.0) {
        return std::numeric_limits<std::int32_t>::min();
    }
    // Explicit ties-to-even, independent of the floating-point rounding mode. Inside the
    // 32-bit range floor() and the difference below are exact.
    const double whole = std::floor(value);
    const double fraction = value - whole;
    auto result = static_cast<std::int64_t>(whole);
    if (fraction > 0.5 || (fraction == 0.5 && (result & 1) != 0)) {
        ++result;
    }
    return static_cast<std::int32_t>(result);
}

float clampOutputLevel(float position) {
    if (std::isnan(position) || position < 0.0f) {
        return 0.0f;
    }
    return position > 100.0f ? 100.0f : position;
}

std::int32_t amplitudeForLevel(float position) {
    const double decibels = (static_cast<double>(clampOutputLevel(position)) - 100.0) / 20.0;
    return roundToInt32(32767.0 * std::pow(10.0, decibels));
}

std::string levelReadout(float position) {
    const double decibels = static_cast<double>(clampOutputLevel(position)) - 100.0;
    return std::to_string(roundToInt32(decibels)) + "dB";
}

std::int32_t limitDotLength(std::int32_t ms) {
    return ms < 1 ? 1 : ms;
}

std::int32_t limitDotCount(std::int32_t count) {
    if (count < 0) {
        return 0;
    }
    return count > kMaxDotCount ? kMaxDotCount : count;
}

std::int32_t limitRepeatDots(std::int32_t dots) {
    return dots < 0 ? 0 : dots;
}

void limitParameters(BeaconPattern& pattern) {
    pattern.dotLength = limitDotLength(pattern.dotLength);
    pattern.dotCount = limitDotCount(pattern.dotCount);
    pattern.repeatDots = limitRepeatDots(pattern.repeatDots);
}

namespace {

std::string hertzText(double hertz) {
    char text[32];
    std::snprintf(text, sizeof text, "%.7g", hertz);
    return text;
}

} // namespace

Result<> checkToneRange(float centre, float spacing) {
    BeaconPattern rows;
    rows.centreFrequency = centre;
    rows.frequencySpacing = spacing;
    for (int row = 1; row <= kToneRows; ++row) {
        rows.toneIndex[0] = static_cast<float>(row);
        const float tone = toneFrequency(rows, 0);
        if (!(tone >= 0.0f && tone <= kHighestToneHz)) {
            return fail("tone row " + std::to_string(row) + " would be at " +
                        hertzText(double{tone}) + " Hz, outside 0 to " +
                        hertzText(double{kHighestToneHz}) + " Hz");
        }
    }
    return {};
}

// Rows 1 and 16 lie 7 spacings above and 8 below the centre: the two ends of the ladder.
HertzBand centreBand(float spacing) {
    const double s = spacing, highest = kHighestToneHz;
    return {std::max(8.0 * s, -7.0 * s), highest - std::max(7.0 * s, -8.0 * s)};
}

HertzBand spacingBand(float centre) {
    const double c = centre, highest = kHighestToneHz;
    return {std::max(-c / 7.0, (c - highest) / 8.0), std::min(c / 8.0, (highest - c) / 7.0)};
}

std::string bandText(const HertzBand& band) {
    return hertzText(std::ceil(band.lowest * 100.0) / 100.0) + " to " +
           hertzText(std::floor(band.highest * 100.0) / 100.0) + " Hz";
}

} // namespace vesk
