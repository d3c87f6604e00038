// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/result.h"
#include "tone/pattern.h"

#include <string>
#include <vector>

namespace vesk::beacon {

// A pattern described as `vesk-cli make` takes it, without the output file: the mode (cw,
// fskcw, dfcw or wspr), its arguments and its options (--speed, --dot, --shift, --spacing,
// --centre, --audio, each with its value) in any order. The text of cw, fskcw and dfcw is every
// argument word, joined by one blank; wspr takes CALLSIGN LOCATOR DBM. Failures say which word
// is wrong and why, or the generator's reason.
Result<BeaconPattern> makePatternFromWords(const std::vector<std::string>& words);

// The words of a line as a plan holds it: "cw VVV DE K1ABC --speed QRSS3", split at blanks.
std::vector<std::string> splitWords(const std::string& line);

} // namespace vesk::beacon
