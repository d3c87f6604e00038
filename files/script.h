// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tone/pattern.h"

#include <string>

// The script of a pattern: one character per dot for its tone and a level command wherever
// the level changes, then "Q".
namespace vesk {

// Erased slots (level code 0) among slots 0..dotCount get level code 1. The script export
// does this to the pattern itself before it writes the script; the change lasts.
void normaliseErasedLevels(BeaconPattern& pattern);

// The script line with its CR LF: per slot 0..dotCount (at most 600) "P" + log2 of the level
// code where it changes, then "X" for silence or the hexadecimal step 16 - toneIndex;
// leading "P0" dropped; "Q" at the end. Tone rows 8, 8, 0, 3, 3 at levels 1, 1, 1, 4, 4 give
// "88XP2DDQ".
std::string scriptText(const BeaconPattern& pattern);

// "P" argument of a level code: log2 of it with one significant digit; "0" for codes of 0 or
// below. 1 -> "0", 16 -> "4", 3 -> "2", 0.5 -> "-1", 1024 -> "1E+1".
std::string levelText(float levelCode);

// A tone step as 32-bit two's-complement hexadecimal in capitals: 10 -> "A", -1 -> "FFFFFFFF".
std::string hexText(std::int32_t value);

} // namespace vesk
