// SPDX-License-Identifier: GPL-3.0-or-later
#include "beacon/make_words.h"

#include "beacon/generator.h"

#include <charconv>
#include <cmath>
#include <sstream>
#include <system_error>
#include <type_traits>

namespace vesk::beacon {

namespace {

template <typename T> bool parse(const std::string& text, T& value) {
    const char* last = text.data() + text.size();
    auto [end, ec] = std::from_chars(text.data(), last, value);
    if constexpr (std::is_floating_point_v<T>) {
        if (!std::isfinite(value)) {
            return false;
        }
    }
    return ec == std::errc() && end == last;
}

// One option and its value into the settings; the failure names the option.
Result<> applyOption(const std::string& option, const std::string& text, MorseSettings& morse,
                     WsprSettings& wspr) {
    const auto wrong = [&](const std::string& what) {
        return fail(option + " takes " + what + ", not \"" + text + "\"");
    };
    if (option == "--speed") {
        const auto ms = qrssDotLength(text);
        if (!ms) {
            return wrong("QRSS3, QRSS10, QRSS30 or QRSS60");
        }
        morse.dotLength = *ms;
    } else if (option == "--dot") {
        if (!parse(text, morse.dotLength) || morse.dotLength < 1) {
            return wrong("a dot length of at least 1 ms");
        }
    } else if (option == "--shift") {
        if (!parse(text, morse.shift)) {
            return wrong("a whole number of rows");
        }
    } else if (option == "--spacing" || option == "--centre" || option == "--audio") {
        float hertz = 0.0f;
        if (!parse(text, hertz)) {
            return wrong("a frequency in Hz");
        }
        (option == "--spacing"  ? morse.spacing
         : option == "--centre" ? morse.centre
                                : wspr.audio) = hertz;
    } else {
        return fail("unknown option " + option);
    }
    return {};
}

} // namespace

Result<BeaconPattern> makePatternFromWords(const std::vector<std::string>& words) {
    std::vector<std::string> arguments;
    MorseSettings morse;
    WsprSettings wspr;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word.size() < 3 || word.compare(0, 2, "--") != 0) {
            arguments.push_back(word);
            continue;
        }
        if (i + 1 >= words.size()) {
            return fail("option " + word + " needs a value");
        }
        if (const Result<> applied = applyOption(word, words[++i], morse, wspr); !applied) {
            return applied.failure();
        }
    }
    const std::string mode = words.empty() ? std::string() : words[0];
    if (mode == "wspr") {
        if (arguments.size() != 3) {
            return fail("wspr takes CALLSIGN LOCATOR DBM");
        }
        wspr.callsign = arguments[0];
        wspr.locator = arguments[1];
        if (!parse(arguments[2], wspr.powerDbm)) {
            return fail("the power is a whole number of dBm, not \"" + arguments[2] + "\"");
        }
        return makeWsprPattern(wspr);
    }
    if (mode == "cw" || mode == "fskcw" || mode == "dfcw") {
        if (arguments.empty()) {
            return fail(mode + " takes a TEXT");
        }
        morse.keying = mode == "cw" ? Keying::Cw : mode == "fskcw" ? Keying::FskCw : Keying::Dfcw;
        for (const std::string& word : arguments) {
            morse.text += (morse.text.empty() ? "" : " ") + word;
        }
        return makeMorsePattern(morse);
    }
    return fail(mode.empty() ? "no mode given: cw, fskcw, dfcw or wspr"
                             : "unknown mode \"" + mode + "\": cw, fskcw, dfcw or wspr");
}

std::vector<std::string> splitWords(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

} // namespace vesk::beacon
