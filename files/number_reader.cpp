// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/number_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

namespace vesk {

namespace {

constexpr std::size_t kMaxNumberLength = 255;
constexpr char kEndOfData = 26;
// Exponents are only needed to tell overflow from underflow; this is far past both.
constexpr long kExponentCap = 1'000'000;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view skipBlanks(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    return text.substr(i);
}

int digitValue(char c) {
    if (isDigit(c)) {
        return c - '0';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'Z') {
        return c - 'A' + 10;
    }
    return 99;
}

// "&H1F" and friends; `text` starts with '&'.
double parseBasedInteger(std::string_view text) {
    std::size_t i = 1;
    std::uint32_t base = 8;
    if (i < text.size()) {
        const char c = text[i];
        if (c == 'h' || c == 'H') {
            base = 16;
            ++i;
        } else if (c == 'o' || c == 'O' || c == 'q' || c == 'Q') {
            ++i;
        } else if (c == 'b' || c == 'B') {
            base = 2;
            ++i;
        } else if (!isDigit(c)) {
            return 0.0;
        }
    }
    // Unsigned arithmetic wraps, leaving the low 32 bits of any number of digits.
    std::uint32_t value = 0;
    for (; i < text.size(); ++i) {
        const int digit = digitValue(text[i]);
        if (digit >= static_cast<int>(base)) {
            break;
        }
        value = value * base + static_cast<std::uint32_t>(digit);
    }
    return static_cast<double>(static_cast<std::int32_t>(value));
}

// Power of ten of the first non-zero digit of the mantissa, plus the written exponent, to
// decide whether an out-of-range decimal overflowed or underflowed.
long decimalMagnitude(std::string_view mantissa, std::string_view exponent) {
    const std::size_t point = mantissa.find('.');
    std::string_view whole = mantissa.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view{} : mantissa.substr(point + 1);
    whole.remove_prefix(std::min(whole.size(), whole.find_first_not_of('0')));
    long position = 0;
    if (!whole.empty()) {
        position = static_cast<long>(whole.size()) - 1;
    } else {
        const std::size_t zeros = std::min(fraction.size(), fraction.find_first_not_of('0'));
        position = -static_cast<long>(zeros) - 1;
    }
    long exp = 0;
    bool negative = false;
    std::size_t i = 0;
    if (i < exponent.size() && (exponent[i] == '+' || exponent[i] == '-')) {
        negative = exponent[i] == '-';
        ++i;
    }
    for (; i < exponent.size() && exp < kExponentCap; ++i) {
        exp = exp * 10 + (exponent[i] - '0');
    }
    return position + (negative ? -exp : exp);
}

} // namespace

NumberReader::NumberReader(std::string_view bytes) : data_(bytes) {
    const std::size_t end = data_.find(kEndOfData);
    if (end != std::string_view::npos) {
        data_ = data_.substr(0, end);
    }
}

bool NumberReader::atEnd() const {
    return pos_ >= data_.size();
}

void NumberReader::advanceTo(std::size_t pos) {
    for (; counted_ < pos; ++counted_) {
        if (data_[counted_] == '\n') {
            ++lineAtPos_;
        }
    }
}

std::string NumberReader::nextText() {
    const std::size_t size = data_.size();
    while (pos_ < size && data_[pos_] == ' ') {
        ++pos_;
    }
    advanceTo(pos_);
    line_ = lineAtPos_;
    std::string text;
    while (pos_ < size && text.size() < kMaxNumberLength) {
        const char c = data_[pos_];
        if (c == ' ' || c == ',' || c == '\r') {
            break;
        }
        if (c != '\t' && c != '\n') {
            text += c;
        }
        ++pos_;
    }
    while (pos_ < size && (data_[pos_] == ' ' || data_[pos_] == '\t' || data_[pos_] == '\n')) {
        ++pos_;
    }
    if (pos_ < size) {
        if (data_[pos_] == ',') {
            ++pos_;
        } else if (data_[pos_] == '\r') {
            ++pos_;
            if (pos_ < size && data_[pos_] == '\n') {
                ++pos_;
            }
        }
    }
    return text;
}

double NumberReader::next() {
    return parseNumberLiteral(nextText());
}

bool isNumberText(std::string_view text) {
    if (text.empty()) {
        return true;
    }
    const auto run = [&text](std::size_t from, auto inSet) {
        std::size_t i = from;
        while (i < text.size() && inSet(text[i])) {
            ++i;
        }
        return i - from;
    };
    if (text.front() == '&') {
        int base = 8;
        std::size_t first = 1;
        if (text.size() > 1) {
            const char c = text[1];
            if (c == 'h' || c == 'H') {
                base = 16;
                first = 2;
            } else if (c == 'o' || c == 'O' || c == 'q' || c == 'Q') {
                first = 2;
            } else if (c == 'b' || c == 'B') {
                base = 2;
                first = 2;
            }
        }
        const std::size_t digits = run(first, [base](char c) { return digitValue(c) < base; });
        return digits > 0 && first + digits == text.size();
    }
    std::size_t i = (text[0] == '+' || text[0] == '-') ? 1 : 0;
    const std::size_t whole = run(i, isDigit);
    i += whole;
    std::size_t fraction = 0;
    if (i < text.size() && text[i] == '.') {
        fraction = run(i + 1, isDigit);
        i += 1 + fraction;
    }
    if (whole + fraction == 0) {
        return false;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            ++i;
        }
        const std::size_t exponent = run(i, isDigit);
        if (exponent == 0) {
            return false;
        }
        i += exponent;
    }
    return i == text.size();
}

double parseDecimalLiteral(std::string_view text) {
    text = skipBlanks(text);
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t start = i;
    std::size_t digits = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        for (; i < text.size() && isDigit(text[i]); ++i) {
            ++digits;
        }
    }
    if (digits == 0) {
        return 0.0;
    }
    const std::string_view mantissa = text.substr(start, i - start);
    std::string_view exponent;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            ++j;
        }
        if (j < text.size() && isDigit(text[j])) {
            while (j < text.size() && isDigit(text[j])) {
                ++j;
            }
            exponent = text.substr(i + 1, j - i - 1);
            i = j;
        }
    }
    const std::string_view literal = text.substr(start, i - start);
    double value = 0.0;
    const auto result = std::from_chars(literal.data(), literal.data() + literal.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        value = decimalMagnitude(mantissa, exponent) > 0 ? std::numeric_limits<double>::infinity()
                                                         : 0.0;
    } else if (result.ec != std::errc{}) {
        value = 0.0;
    }
    return negative ? -value : value;
}

double parseNumberLiteral(std::string_view text) {
    text = skipBlanks(text);
    if (!text.empty() && text.front() == '&') {
        return parseBasedInteger(text);
    }
    return parseDecimalLiteral(text);
}

float roundToSingle(double value) {
    constexpr double kMax = static_cast<double>(std::numeric_limits<float>::max());
    if (std::isnan(value)) {
        return 0.0f;
    }
    if (value > kMax) {
        return std::numeric_limits<float>::max();
    }
    if (value < -kMax) {
        return -std::numeric_limits<float>::max();
    }
    return static_cast<float>(value);
}

} // namespace vesk
