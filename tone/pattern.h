// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/result.h"

#include <array>
#include <cstdint>
#include <string>

namespace vesk {

// Slots of the pattern arrays: 0..600.
inline constexpr int kSlotCount = 601;
inline constexpr int kMaxDotCount = kSlotCount - 1;
inline constexpr int kToneRows = 16;
inline constexpr int kCentreRow = 8;
inline constexpr int kSampleRate = 44100;

// The beacon pattern: per-slot tone rows and level codes plus the five parameters.
// The arrays hold single-precision reals because pattern files may carry any number.
struct BeaconPattern {
    std::array<float, kSlotCount> toneIndex{}; // 0 = silent, 1..16 (1 highest, 8 centre)
    std::array<float, kSlotCount> levelCode{}; // 1, 2, 4, 8, 16 (0..-24 dB); 0 = erased
    std::int32_t dotLength = 100;              // ms, at least 1
    std::int32_t dotCount = 600;               // slots 0..dotCount are in use, 0..600
    float frequencySpacing = 10.0f;            // Hz between rows
    float centreFrequency = 1000.0f;           // Hz of row 8
    std::int32_t repeatDots = 600;             // cycle length in dots, at least 0
};

// The pattern as the program starts: silent slots at level code 1, 100 ms, 600 dots,
// 10 Hz, 1000 Hz, repeat 600.
BeaconPattern startPattern();

// The Reset command's pattern: silent slots at level code 1, 100 ms, 100 dots, 10 Hz,
// 1000 Hz, repeat 200.
BeaconPattern resetPattern();

// Frequency in Hz of tone row t (1..16): centre + spacing x (8 - t), single precision.
float toneFrequency(const BeaconPattern& pattern, int slot);

// 1 / levelCode of a slot (infinite for code 0).
double levelGain(const BeaconPattern& pattern, int slot);

// Round to nearest, ties to even, saturated to the 32-bit range; NaN gives 0.
std::int32_t roundToInt32(double value);

// Output level position clamped to 0..100.
float clampOutputLevel(float position);

// Peak sample value for level code 1 at output level position 0..100 (clamped first):
// 32767 x 10^((position - 100) / 20), ties to even. 100 -> 32767, 90 -> 10362, 0 -> 0.
std::int32_t amplitudeForLevel(float position);

// The dB readout text: position - 100 as a whole number followed by "dB" ("-10dB", "0dB").
std::string levelReadout(float position);

// Parameter limits that keep render and playback defined.
std::int32_t limitDotLength(std::int32_t ms);    // at least 1
std::int32_t limitDotCount(std::int32_t count);  // 0..600
std::int32_t limitRepeatDots(std::int32_t dots); // at least 0

// Applies the three limits above to a pattern's parameters.
void limitParameters(BeaconPattern& pattern);

// The highest tone the 44.1 kHz output carries cleanly; every tone row lies within 0 Hz
// and this.
inline constexpr float kHighestToneHz = 20000.0f;

// Passes a centre frequency and spacing (Hz) that put all 16 tone rows, as toneFrequency
// computes them, within 0..kHighestToneHz; fails naming the first row outside and its tone.
// The one home of the rule for every place the two values enter (files, generators, fields).
Result<> checkToneRange(float centre, float spacing);

// Hz from `lowest` to `highest`; empty when lowest > highest.
struct HertzBand {
    double lowest = 0.0;
    double highest = 0.0;
    bool empty() const { return !(lowest <= highest); }
};
// The centre frequencies that keep every row within range at `spacing`, and the spacings that
// do at `centre`.
HertzBand centreBand(float spacing);
HertzBand spacingBand(float centre);
// "80 to 19930 Hz": the band with its ends moved inward to whole hundredths of a hertz.
std::string bandText(const HertzBand& band);

} // namespace vesk
