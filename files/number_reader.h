// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Reading numbers back from pattern files, the settings file and edit fields.
namespace vesk {

// Takes numbers one after another from file bytes. Line layout does not matter: a number
// ends at a blank, a comma, a CR or after 255 characters; TAB and LF inside it are dropped.
// After the data ends, or at a byte 26, every further number reads 0. The bytes must outlive
// the reader.
class NumberReader {
public:
    explicit NumberReader(std::string_view bytes);

    // The next number's text, separators consumed; "" once the data has ended.
    std::string nextText();

    // The next number converted by parseNumberLiteral; 0 once the data has ended.
    double next();

    // True when the data has ended: every further number is the empty one.
    bool atEnd() const;

    // Line (1-based, counted by LF bytes) on which the number last taken began, or where the
    // data ended when it was taken after the end.
    std::size_t line() const { return line_; }

private:
    // Moves on to `pos`, counting the line ends passed.
    void advanceTo(std::size_t pos);

    std::string_view data_;
    std::size_t pos_ = 0;
    std::size_t counted_ = 0;   // bytes already searched for LF
    std::size_t lineAtPos_ = 1; // line of byte `counted_`
    std::size_t line_ = 1;
};

// True when `text` (a number's text as NumberReader gives it) is a whole numeric literal:
// optional sign, digits with an optional point, an optional exponent ("E" or "e", sign,
// digits); or "&H", "&O", "&Q", "&B" and "&" forms with at least one digit of their base.
// The empty text counts: an empty number (a blank line, a comma after a comma) reads 0.
// "12abc", "1e", "." and "hello" do not.
bool isNumberText(std::string_view text);

// A numeric literal: optional sign, digits with an optional point, optional exponent ("E",
// either case), the longest leading part that forms a number ("12abc" -> 12); "&H", "&O",
// "&Q", "&B" (either case) and "&" + digits give hexadecimal, octal, base-two and octal
// integers. Leading blanks and TABs are skipped; no number gives 0. Never NaN: a decimal
// beyond the double range gives +-infinity, below it 0. The &-forms keep the low 32 bits of
// their digits as a two's-complement value, like a 32-bit integer constant: "&HFFFFFFFF" -> -1,
// "&H100000000" -> 0.
double parseNumberLiteral(std::string_view text);

// The decimal forms of parseNumberLiteral only: "&H10" -> 0.
double parseDecimalLiteral(std::string_view text);

// Rounds to single precision; beyond the largest finite single gives that value with the
// sign (+-3.4028235E+38), NaN gives 0, so a stored real is always finite.
float roundToSingle(double value);

} // namespace vesk
