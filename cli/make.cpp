// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli.h"

#include "beacon/generator.h"
#include "files/atomic_write.h"
#include "files/pattern_file.h"

#include <charconv>
#include <cmath>
#include <iostream>
#include <system_error>

namespace vesk::cli {

namespace {

int makeFailed(const std::string& message) {
    std::cerr << "vesk-cli: make: " << oneLine(message) << '\n';
    return 1;
}

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

// "57 slots of 3000 ms, 2 min 51 s".
std::string lengthText(const BeaconPattern& pattern) {
    const std::int64_t ms = std::int64_t{pattern.dotCount + 1} * pattern.dotLength;
    const std::int64_t seconds = (ms + 500) / 1000;
    return std::to_string(pattern.dotCount + 1) + " slots of " + std::to_string(pattern.dotLength) +
           " ms, " + std::to_string(seconds / 60) + " min " + std::to_string(seconds % 60) + " s";
}

} // namespace

int runMake(const std::vector<std::string>& args) {
    std::vector<std::string> positional;
    beacon::MorseSettings morse;
    beacon::WsprSettings wspr;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
            positional.push_back(arg);
            continue;
        }
        if (i + 1 >= args.size()) {
            return makeFailed("option " + arg + " needs a value");
        }
        const std::string& text = args[++i];
        const auto wrong = [&](const std::string& what) {
            return makeFailed(arg + " takes " + what + ", not \"" + text + "\"");
        };
        if (arg == "--speed") {
            const auto ms = beacon::qrssDotLength(text);
            if (!ms) {
                return wrong("QRSS3, QRSS10, QRSS30 or QRSS60");
            }
            morse.dotLength = *ms;
        } else if (arg == "--dot") {
            if (!parse(text, morse.dotLength) || morse.dotLength < 1) {
                return wrong("a dot length of at least 1 ms");
            }
        } else if (arg == "--shift") {
            if (!parse(text, morse.shift)) {
                return wrong("a whole number of rows");
            }
        } else if (arg == "--spacing" || arg == "--centre" || arg == "--audio") {
            float hertz = 0.0f;
            if (!parse(text, hertz)) {
                return wrong("a frequency in Hz");
            }
            (arg == "--spacing"  ? morse.spacing
             : arg == "--centre" ? morse.centre
                                 : wspr.audio) = hertz;
        } else {
            return makeFailed("unknown option " + arg + " (see vesk-cli --help)");
        }
    }
    const std::string mode = positional.empty() ? std::string() : positional[0];
    // Any other mode stays refused.
    Result<BeaconPattern> made =
        fail(mode.empty() ? "no mode given: cw, fskcw, dfcw or wspr"
                          : "unknown mode \"" + mode + "\": cw, fskcw, dfcw or wspr");
    if (mode == "wspr") {
        if (positional.size() != 5) {
            return makeFailed("wspr takes CALLSIGN LOCATOR DBM OUT (see vesk-cli --help)");
        }
        wspr.callsign = positional[1];
        wspr.locator = positional[2];
        if (!parse(positional[3], wspr.powerDbm)) {
            return makeFailed("the power is a whole number of dBm, not \"" + positional[3] + "\"");
        }
        made = beacon::makeWsprPattern(wspr);
    } else if (mode == "cw" || mode == "fskcw" || mode == "dfcw") {
        if (positional.size() != 3) {
            return makeFailed(mode + " takes TEXT OUT (quote a text with blanks; see vesk-cli "
                                     "--help)");
        }
        morse.keying = mode == "cw"      ? beacon::Keying::Cw
                       : mode == "fskcw" ? beacon::Keying::FskCw
                                         : beacon::Keying::Dfcw;
        morse.text = positional[1];
        made = beacon::makeMorsePattern(morse);
    }
    if (!made) {
        return makeFailed(made.message());
    }
    const std::string& out = positional.back();
    if (const Result<> written = writeFileAtomically(out, patternFileText(*made)); !written) {
        return makeFailed(written.message());
    }
    std::cout << out << ": " << lengthText(*made) << '\n';
    return 0;
}

} // namespace vesk::cli
