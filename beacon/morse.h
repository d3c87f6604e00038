// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/result.h"

#include <string>
#include <string_view>
#include <vector>

// Morse code for slow-CW beacons: the characters a beacon sends and their timing in units
// (dot 1, dash 3, gap inside a character 1, between characters 3, between words 7).
namespace vesk::beacon {

// The code of one character as dots and dashes (".-" for A); empty for a character that has
// none. Letters of either case, digits, '/', '?' and '='.
std::string_view morseCode(char c);

// One step of a sent text, in order.
enum class MorseStep { Dot, Dash, ElementGap, LetterGap, WordGap };

// Units a step lasts: 1, 3, 1, 3, 7.
int morseUnits(MorseStep step);

// Splits text into Morse steps, from the first element to the last with no gap at either end.
// Blanks separate words (a run of blanks is one word gap; blanks at either end are dropped).
// Fails for text without a character to send ("no text to send"), and for any character other
// than a blank that has no code (the message names the first).
Result<std::vector<MorseStep>> morseSteps(std::string_view text);

// The keying of the steps one unit at a time, '1' key down, '0' key up: "E E" -> "100000001".
std::string keyingUnits(const std::vector<MorseStep>& steps);

} // namespace vesk::beacon
