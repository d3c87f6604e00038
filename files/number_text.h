// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

// How numbers are written into pattern files, the settings file and edit fields.
namespace vesk {

// Significant digits of integers (exact for every 32-bit value) and of single-precision reals.
inline constexpr int kIntegerDigits = 15;
inline constexpr int kSingleDigits = 7;

// The digits of v rounded to 1..17 significant digits, "-" in front of a negative value, no
// blanks: ".5", "1500.25", "1.234568E+7", "1E+8", "0". Only the first dropped digit decides
// the rounding; an exact 5 rounds to the even neighbour. Non-finite values give "INF", "-INF"
// and "NAN".
std::string formatSignificant(double v, int digits);

// Print text: sign position (blank or "-"), up to 15 digits, one trailing blank: " 100 ".
std::string printTextInt(std::int64_t v);

// Print text of a single-precision value with 7 digits: " 2.5 ", "-.1 ".
std::string printTextSingle(float v);

// Field text: the print text without its trailing blank: " 100", "-3".
std::string fieldTextInt(std::int64_t v);
std::string fieldTextSingle(float v);

} // namespace vesk
