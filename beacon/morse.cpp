// SPDX-License-Identifier: GPL-3.0-or-later
#include "beacon/morse.h"

#include <array>
#include <utility>

namespace vesk::beacon {

namespace {

// International Morse code (ITU-R M.1677-1) for the characters a beacon sends.
constexpr std::array<std::pair<char, std::string_view>, 39> kCodes{{
    {'A', ".-"},    {'B', "-..."},   {'C', "-.-."},  {'D', "-.."},   {'E', "."},     {'F', "..-."},
    {'G', "--."},   {'H', "...."},   {'I', ".."},    {'J', ".---"},  {'K', "-.-"},   {'L', ".-.."},
    {'M', "--"},    {'N', "-."},     {'O', "---"},   {'P', ".--."},  {'Q', "--.-"},  {'R', ".-."},
    {'S', "..."},   {'T', "-"},      {'U', "..-"},   {'V', "...-"},  {'W', ".--"},   {'X', "-..-"},
    {'Y', "-.--"},  {'Z', "--.."},   {'0', "-----"}, {'1', ".----"}, {'2', "..---"}, {'3', "...--"},
    {'4', "....-"}, {'5', "....."},  {'6', "-...."}, {'7', "--..."}, {'8', "---.."}, {'9', "----."},
    {'/', "-..-."}, {'?', "..--.."}, {'=', "-...-"},
}};

} // namespace

std::string_view morseCode(char c) {
    const char upper = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    for (const auto& [character, code] : kCodes) {
        if (character == upper) {
            return code;
        }
    }
    return {};
}

int morseUnits(MorseStep step) {
    switch (step) {
    case MorseStep::Dot:
    case MorseStep::ElementGap:
        return 1;
    case MorseStep::Dash:
    case MorseStep::LetterGap:
        return 3;
    case MorseStep::WordGap:
        return 7;
    }
    return 0;
}

Result<std::vector<MorseStep>> morseSteps(std::string_view text) {
    std::vector<MorseStep> steps;
    bool blankBefore = false;
    for (const char c : text) {
        if (c == ' ') {
            blankBefore = true;
            continue;
        }
        const std::string_view code = morseCode(c);
        if (code.empty()) {
            const bool printable = c > ' ' && c < 127;
            return fail((printable
                             ? std::string("\"") + c + "\" has no Morse code"
                             : std::string("the text holds a character that has no Morse code")) +
                        " (letters, digits, /, ?, = and blanks)");
        }
        if (!steps.empty()) {
            steps.push_back(blankBefore ? MorseStep::WordGap : MorseStep::LetterGap);
        }
        blankBefore = false;
        for (std::size_t i = 0; i < code.size(); ++i) {
            if (i > 0) {
                steps.push_back(MorseStep::ElementGap);
            }
            steps.push_back(code[i] == '.' ? MorseStep::Dot : MorseStep::Dash);
        }
    }
    if (steps.empty()) {
        return fail("no text to send");
    }
    return steps;
}

std::string keyingUnits(const std::vector<MorseStep>& steps) {
    std::string units;
    for (const MorseStep step : steps) {
        const bool keyed = step == MorseStep::Dot || step == MorseStep::Dash;
        units.append(static_cast<std::size_t>(morseUnits(step)), keyed ? '1' : '0');
    }
    return units;
}

} // namespace vesk::beacon
