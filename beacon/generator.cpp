// SPDX-License-Identifier: GPL-3.0-or-later
#include "beacon/generator.h"

#include "beacon/morse.h"
#include "beacon/wspr.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>

namespace vesk::beacon {

namespace {

// A pattern with every slot silent at level code 1 and the given timing.
BeaconPattern emptyPattern(std::int32_t dotLength, float spacing, float centre) {
    BeaconPattern pattern = startPattern();
    pattern.dotLength = dotLength;
    pattern.frequencySpacing = spacing;
    pattern.centreFrequency = centre;
    return pattern;
}

// "5 Hz", "-0.5 Hz", "nan Hz".
std::string hertzText(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g Hz", static_cast<double>(value));
    return text;
}

void setSlot(BeaconPattern& pattern, std::size_t slot, int row) {
    pattern.toneIndex[slot] = static_cast<float>(row);
    pattern.levelCode[slot] = 1.0f;
}

} // namespace

std::optional<std::int32_t> qrssDotLength(std::string_view name) {
    static constexpr struct {
        std::string_view name;
        std::int32_t ms;
    } kSpeeds[] = {{"QRSS3", 3000}, {"QRSS10", 10000}, {"QRSS30", 30000}, {"QRSS60", 60000}};
    for (const auto& speed : kSpeeds) {
        if (name.size() == speed.name.size() &&
            std::equal(name.begin(), name.end(), speed.name.begin(), [](char a, char b) {
                return (a >= 'a' && a <= 'z' ? a - 'a' + 'A' : a) == b;
            })) {
            return speed.ms;
        }
    }
    return std::nullopt;
}

Result<BeaconPattern> makeMorsePattern(const MorseSettings& settings) {
    if (settings.dotLength < 1) {
        return fail("the dot length must be at least 1 ms");
    }
    // Rows must step up the ladder: at 0 Hz (or below) dots and dashes of FSK-CW and DFCW
    // would share a tone or swap sides.
    if (!(settings.spacing > 0.0f)) {
        return fail("the tone spacing must be more than 0 Hz, not " + hertzText(settings.spacing));
    }
    if (const Result<> inside = checkToneRange(settings.centre, settings.spacing); !inside) {
        return inside.failure();
    }
    const int shiftedRow = kCentreRow - settings.shift;
    if (settings.keying != Keying::Cw &&
        (settings.shift == 0 || shiftedRow < 1 || shiftedRow > kToneRows)) {
        return fail("the shift must be 1 to 7 rows up or 1 to 8 down (-1 to -8), not " +
                    std::to_string(settings.shift));
    }
    const Result<std::vector<MorseStep>> morse = morseSteps(settings.text);
    if (!morse) {
        return morse.failure();
    }
    // A DFCW dash lasts as long as a dot: its row tells it apart.
    std::size_t slots = 0;
    for (const MorseStep step : *morse) {
        slots += settings.keying == Keying::Dfcw && step == MorseStep::Dash
                     ? 1u
                     : static_cast<std::size_t>(morseUnits(step));
    }
    if (slots > static_cast<std::size_t>(kSlotCount)) {
        return fail("the message needs " + std::to_string(slots) + " slots; a pattern holds " +
                    std::to_string(kSlotCount));
    }
    BeaconPattern pattern = emptyPattern(settings.dotLength, settings.spacing, settings.centre);
    std::size_t slot = 0;
    for (const MorseStep step : *morse) {
        const bool keyed = step == MorseStep::Dot || step == MorseStep::Dash;
        int row = 0;
        std::size_t length = static_cast<std::size_t>(morseUnits(step));
        switch (settings.keying) {
        case Keying::Cw:
            row = keyed ? kCentreRow : 0;
            break;
        case Keying::FskCw:
            row = keyed ? shiftedRow : kCentreRow;
            break;
        case Keying::Dfcw:
            row = step == MorseStep::Dash ? shiftedRow : keyed ? kCentreRow : 0;
            length = step == MorseStep::Dash ? 1u : length;
            break;
        }
        for (std::size_t end = slot + length; slot < end; ++slot) {
            setSlot(pattern, slot, row);
        }
    }
    pattern.dotCount = static_cast<std::int32_t>(slots) - 1;
    pattern.repeatDots = pattern.dotCount + morseUnits(MorseStep::WordGap);
    return pattern;
}

Result<BeaconPattern> makeWsprPattern(const WsprSettings& settings) {
    // Row 8 carries symbol 0, so the middle of the four tones is 1.5 spacings above it; row 1,
    // 5.5 spacings above the middle, must stay inside the output's range too.
    const float centre = settings.audio - 1.5f * kWsprToneSpacing;
    if (!(settings.audio >= 100.0f) || !checkToneRange(centre, kWsprToneSpacing)) {
        return fail("the WSPR audio frequency must be 100 to 19991 Hz (every tone row within "
                    "0..20000 Hz), not " +
                    hertzText(settings.audio));
    }
    const Result<WsprSymbols> encoded =
        wsprSymbols(settings.callsign, settings.locator, settings.powerDbm);
    if (!encoded) {
        return encoded.failure();
    }
    BeaconPattern pattern = emptyPattern(kWsprSymbolMs, kWsprToneSpacing, centre);
    for (std::size_t i = 0; i < encoded->size(); ++i) {
        setSlot(pattern, i, kCentreRow - (*encoded)[i]);
    }
    pattern.dotCount = kWsprSymbolCount - 1;
    // 176 slots of 683 ms: the first period that is at least the two minutes between
    // transmissions. Started on the clock, each cycle then waits for its boundary.
    pattern.repeatDots = 175;
    return pattern;
}

bool isWsprTiming(const BeaconPattern& pattern) {
    // A pattern file keeps seven digits: the spacing comes back as 1.464844 Hz.
    return pattern.dotLength == kWsprSymbolMs &&
           std::abs(pattern.frequencySpacing - kWsprToneSpacing) < 1e-5f;
}

} // namespace vesk::beacon
