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

Result<> checkToneRange(double centre, double spacing) {
    // Row 1 is 7 spacings above the centre, row 16 eight below.
    const double top = centre + 7.0 * spacing;
    const double bottom = centre - 8.0 * spacing;
    const double low = std::min(top, bottom), high = std::max(top, bottom);
    if (std::isfinite(low) && std::isfinite(high) && low >= 0.0 && high <= kMaxToneHz) {
        return {};
    }
    const auto hertz = [](double value) {
        char text[32];
        std::snprintf(text, sizeof text, "%.7g Hz", value);
        return std::string(text);
    };
    const std::string rule = "every tone row must lie within 0.." + hertz(kMaxToneHz);
    if (!std::isfinite(centre) || !std::isfinite(spacing)) {
        return fail("the centre frequency and the tone spacing must be numbers; " + rule);
    }
    return fail("a centre of " + hertz(centre) + " and a spacing of " + hertz(spacing) +
                " put the tone rows at " + hertz(low) + " to " + hertz(high) + "; " + rule);
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

} // namespace vesk
