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

private:
    std::string_view data_;
    std::size_t pos_ = 0;
};

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
