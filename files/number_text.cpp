// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/number_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string_view>

namespace vesk {

namespace {

// Enough extra digits that a correctly rounded expansion can only have carried into the
// digits we keep when everything past the first dropped digit came out as zeros.
constexpr int kGuardDigits = 20;
// A double's exact decimal expansion has at most 767 significant digits.
constexpr int kExactPrecision = 770;
constexpr int kMaxDigits = 40;

// Rounds the exact leading digits `sig` (first digit not 0) to `digits` significant digits,
// looking only at the first dropped digit, and lays them out in fixed or scientific form.
// `exponent` is the power of ten of sig's first digit.
std::string layoutDigits(std::string_view sig, int exponent, int digits) {
    const std::size_t keep = static_cast<std::size_t>(digits);
    std::string kept(sig.substr(0, std::min(sig.size(), keep)));
    const char dropped = sig.size() > keep ? sig[keep] : '0';
    const bool lastOdd = ((kept.back() - '0') % 2) == 1;
    if (dropped > '5' || (dropped == '5' && lastOdd)) {
        std::size_t i = kept.size();
        while (i > 0 && kept[i - 1] == '9') {
            kept[i - 1] = '0';
            --i;
        }
        if (i == 0) {
            kept.insert(kept.begin(), '1');
            kept.pop_back();
            ++exponent;
        } else {
            ++kept[i - 1];
        }
    }
    while (kept.size() > 1 && kept.back() == '0') {
        kept.pop_back();
    }

    const int count = static_cast<int>(kept.size());
    const bool wholeTooLong = exponent + 1 > digits;
    const bool fractionTooLong = exponent < 0 && (-exponent - 1) + count > digits;
    std::string out;
    if (wholeTooLong || fractionTooLong) {
        out += kept[0];
        if (count > 1) {
            out += '.';
            out.append(kept, 1);
        }
        out += 'E';
        out += exponent < 0 ? '-' : '+';
        out += std::to_string(exponent < 0 ? -exponent : exponent);
    } else if (exponent >= 0) {
        const std::size_t whole = static_cast<std::size_t>(exponent) + 1;
        if (kept.size() > whole) {
            out.append(kept, 0, whole);
            out += '.';
            out.append(kept, whole);
        } else {
            out += kept;
            out.append(whole - kept.size(), '0');
        }
    } else {
        out += '.';
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out += kept;
    }
    return out;
}

// Digits of an unsigned integer: exact.
std::string integerDigits(std::uint64_t magnitude, int digits) {
    if (magnitude == 0) {
        return "0";
    }
    std::array<char, 24> buf{};
    const auto end = std::to_chars(buf.data(), buf.data() + buf.size(), magnitude).ptr;
    const std::string_view sig(buf.data(), static_cast<std::size_t>(end - buf.data()));
    return layoutDigits(sig, static_cast<int>(sig.size()) - 1, digits);
}

// Splits "d.ddddde+XX" into its digits (into `sig`) and its exponent.
int splitScientific(std::string_view text, std::string& sig) {
    sig.clear();
    const std::size_t e = text.find('e');
    for (std::size_t i = 0; i < e; ++i) {
        if (text[i] != '.') {
            sig += text[i];
        }
    }
    int exponent = 0;
    std::string_view exp = text.substr(e + 1);
    if (!exp.empty() && exp.front() == '+') {
        exp.remove_prefix(1);
    }
    std::from_chars(exp.data(), exp.data() + exp.size(), exponent);
    return exponent;
}

// True when the exact decimal expansion of a finite positive value m x 2^-k (m below 2^53) has
// at most `significant` digits: a fraction has the digits of m x 5^k, at most 17 + 0.7 k of
// them; an integer at most 17 + 0.31 |k|.
bool expansionFits(double magnitude, int significant) {
    int binaryExponent = 0;
    const double fraction = std::frexp(magnitude, &binaryExponent);
    auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
    int k = 53 - binaryExponent;
    while (k > 0 && (mantissa & 1u) == 0) {
        mantissa >>= 1;
        --k;
    }
    const int bound = k > 0 ? 17 + (7 * k + 9) / 10 : 17 + (31 * -k + 99) / 100;
    return bound <= significant;
}

// Digits of a finite positive value taken from its exact binary value.
std::string realDigits(double magnitude, int digits) {
    if (magnitude < 9.2e18 && magnitude == std::floor(magnitude)) {
        return integerDigits(static_cast<std::uint64_t>(magnitude), digits);
    }
    std::string text(static_cast<std::size_t>(kExactPrecision + 16), '\0');
    std::string sig;
    const auto expand = [&](int precision) {
        const auto result = std::to_chars(text.data(), text.data() + text.size(), magnitude,
                                          std::chars_format::scientific, precision);
        return splitScientific(std::string_view(text.data(), result.ptr), sig);
    };
    int exponent = expand(digits + kGuardDigits);
    // All zeros after the first dropped digit may hide a carry from a run of nines.
    const std::string_view guard =
        std::string_view(sig).substr(static_cast<std::size_t>(digits) + 1);
    if (guard.find_first_not_of('0') == std::string_view::npos &&
        !expansionFits(magnitude, digits + kGuardDigits + 1)) {
        exponent = expand(kExactPrecision);
    }
    return layoutDigits(sig, exponent, digits);
}

std::string magnitudeText(double magnitude, int digits) {
    if (std::isnan(magnitude)) {
        return "NAN";
    }
    if (std::isinf(magnitude)) {
        return "INF";
    }
    if (magnitude == 0.0) {
        return "0";
    }
    return realDigits(magnitude, digits);
}

} // namespace

std::string formatSignificant(double v, int digits) {
    digits = std::clamp(digits, 1, kMaxDigits);
    const bool negative = v < 0.0;
    std::string text = magnitudeText(std::fabs(v), digits);
    return negative ? "-" + text : text;
}

std::string fieldTextInt(std::int64_t v) {
    const std::uint64_t magnitude =
        v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    return (v < 0 ? "-" : " ") + integerDigits(magnitude, kIntegerDigits);
}

std::string fieldTextSingle(float v) {
    const double value = static_cast<double>(v);
    return (value < 0.0 ? "-" : " ") + magnitudeText(std::fabs(value), kSingleDigits);
}

std::string printTextInt(std::int64_t v) {
    return fieldTextInt(v) + ' ';
}

std::string printTextSingle(float v) {
    return fieldTextSingle(v) + ' ';
}

} // namespace vesk
