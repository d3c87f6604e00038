// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/result.h"
#include "tone/pattern.h"

#include <string>
#include <string_view>

// The pattern text file: line 1 with the five parameters, then one line per slot in use with
// its tone row and level code, read back as a stream of 1207 numbers.
namespace vesk {

// Numbers a pattern file is read as: five parameters, then tone row and level code of each
// of the 601 slots.
inline constexpr int kPatternFileNumbers = 5 + 2 * kSlotCount;
// Files above this size are refused rather than read; a full pattern file has about 20 KiB.
inline constexpr std::size_t kMaxPatternFileBytes = 16u * 1024u * 1024u;

// The file's text: print texts in 14-column zones, CR LF after every line, slots 0..dotCount
// (none for a negative dotCount, at most slot 600).
std::string patternFileText(const BeaconPattern& pattern);

// Reads the pattern held in file bytes: 1207 numbers whatever the layout. Refused: a number
// whose text is not a numeric literal, and data that ends before the five parameters and the
// two numbers of each slot from 0 to the file's own dotCount. Slots past that may be missing
// and read 0. Integers round half to even and saturate at the 32-bit range, reals round to
// single precision; then the parameter limits apply: dotLength at least 1, dotCount 0..600,
// repeatDots at least 0. A failure names the first line at fault (1-based) and what is wrong
// there: "line 3: \"1x\" is not a number".
Result<BeaconPattern> readPatternText(std::string_view bytes);

// Reads a pattern file: a regular file holding pattern text. A failure names the file and the
// reason (for its text, the line at fault).
Result<BeaconPattern> loadPatternFile(const std::string& path);

// Replaces `path` with the pattern's text in one step; a failure names the file (the old
// file is then untouched).
Result<> savePatternFile(const std::string& path, const BeaconPattern& pattern);

} // namespace vesk
