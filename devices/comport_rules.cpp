// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/comport_rules.h"

#include <cmath>
#include <string_view>

namespace vesk {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads the number at the start of `text` after blanks, tabs and line feeds: optional sign,
// digits, optional fraction. Stops at the first character that cannot continue the number;
// no digits at all give 0.
double readLeadingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    double value = 0.0;
    while (i < text.size() && isDigit(text[i])) {
        value = value * 10.0 + (text[i] - '0');
        ++i;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        double scale = 0.1;
        while (i < text.size() && isDigit(text[i])) {
            value += (text[i] - '0') * scale;
            scale /= 10.0;
            ++i;
        }
    }
    // An exponent needs at least three characters, more than an answer's tail holds.
    return negative ? -value : value;
}

// Byte offset where the last `count` UTF-8 characters of `text` begin.
std::size_t lastCharactersStart(const std::string& text, int count) {
    std::size_t start = text.size();
    for (int n = 0; n < count && start > 0; ++n) {
        --start;
        while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0u) == 0x80u) {
            --start;
        }
    }
    return start;
}

} // namespace

std::string comportCurrentText(std::int32_t pttComport) {
    const std::int64_t value = pttComport;
    return std::string("COM") + (value < 0 ? "-" : " ") +
           std::to_string(value < 0 ? -value : value);
}

std::vector<std::string> comportChoices() {
    std::vector<std::string> choices;
    choices.reserve(kComportChoiceCount);
    choices.emplace_back("none");
    for (int i = 1; i < kComportChoiceCount - 1; ++i) {
        choices.push_back("COM " + std::to_string(i));
    }
    choices.emplace_back();
    return choices;
}

std::int32_t comportNumberFromAnswer(const std::string& answer) {
    const std::string_view tail = std::string_view(answer).substr(lastCharactersStart(answer, 2));
    const double number = std::floor(readLeadingNumber(tail));
    // Two characters hold at most "99"; the bound only guards the conversion.
    if (!(number >= 1.0) || number > 99.0) {
        return 0;
    }
    return static_cast<std::int32_t>(number);
}

std::int32_t comportNumberFromAnswer(const std::string& answer,
                                     const std::vector<std::string>& choices) {
    for (std::size_t i = 1; i < choices.size() && i < kComportChoiceCount - 1; ++i) {
        if (choices[i] == answer) {
            return static_cast<std::int32_t>(i);
        }
    }
    return comportNumberFromAnswer(answer);
}

} // namespace vesk
