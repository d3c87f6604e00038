// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/result.h"
#include "tone/pattern.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Beacon patterns made from a text or a WSPR message rather than painted: ordinary patterns
// that the grid shows and the files save like any other. Every tone dot is at level code 1.
namespace vesk::beacon {

// How a Morse text is keyed, one Morse unit per slot.
enum class Keying {
    Cw,    // on-off: dots and dashes sound on the centre row, the gaps are silent
    FskCw, // the carrier stays on: dots and dashes `shift` rows from the centre, gaps on it
    Dfcw,  // dots on the centre row, dashes `shift` rows from it, both one unit long
};

struct MorseSettings {
    Keying keying = Keying::Cw;
    std::string text;
    std::int32_t dotLength = 3000; // ms per unit (slot), at least 1
    int shift = 1;                 // rows above the centre (negative: below); FSK-CW and DFCW
    float spacing = 5.0f;          // Hz between rows, more than 0
    float centre = 1000.0f;        // Hz of the centre row
};

// A QRSS speed by its usual name: QRSS3, QRSS10, QRSS30, QRSS60 (either case) give the dot
// length in ms (3000 .. 60000); nothing for any other name.
std::optional<std::int32_t> qrssDotLength(std::string_view name);

// The pattern of a Morse text: slot 0 holds the first element and dotCount the last; the
// repeat adds a word gap (7 units) of silence after the message. Refused: a text with a
// character that has no code, a shift that leaves the 16 rows (or is 0 where it is used), a dot
// length below 1 ms, a spacing that is not more than 0 Hz, a centre and spacing that put a tone
// row outside 0..20000 Hz (checkToneRange), and a message longer than the 601 slots (the
// message says how many it needs).
Result<BeaconPattern> makeMorsePattern(const MorseSettings& settings);

struct WsprSettings {
    std::string callsign;
    std::string locator;
    int powerDbm = 30;
    float audio = 1500.0f; // Hz at the middle of the four tones
};

// The pattern of a WSPR message: 162 slots of 683 ms, tone rows 8 (symbol 0) up to 5 (symbol
// 3) at 12000/8192 Hz, the four tones centred on `audio` (100..19991 Hz, so that every row
// stays inside checkToneRange); the repeat fills two minutes. Refused with the encoder's
// message for an invalid callsign, locator or power, and for an audio frequency outside
// 100..19991 Hz.
Result<BeaconPattern> makeWsprPattern(const WsprSettings& settings);

// True for a pattern with WSPR's symbol length and tone spacing (as a pattern file keeps it,
// to seven digits), which starts on the two-minute grid by default.
bool isWsprTiming(const BeaconPattern& pattern);

} // namespace vesk::beacon
