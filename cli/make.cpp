// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli.h"

#include "beacon/make_words.h"
#include "files/atomic_write.h"
#include "files/pattern_file.h"

#include <iostream>

namespace vesk::cli {

namespace {

int makeFailed(const std::string& message) {
    std::cerr << "vesk-cli: make: " << oneLine(message) << '\n';
    return 1;
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
    // The output file is the last word that is no option or option value; the rest describes
    // the pattern.
    std::vector<std::string> words;
    std::vector<std::size_t> positional;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const bool option = args[i].size() >= 3 && args[i].compare(0, 2, "--") == 0;
        if (!option) {
            positional.push_back(words.size());
        }
        words.push_back(args[i]);
        if (option && i + 1 < args.size()) {
            words.push_back(args[++i]);
        }
    }
    const std::string mode = positional.empty() ? std::string() : words[positional[0]];
    // One TEXT argument, quoted when it has blanks: a forgotten OUT never becomes part of it.
    if ((mode == "cw" || mode == "fskcw" || mode == "dfcw") && positional.size() != 3) {
        return makeFailed(mode + " takes TEXT OUT (quote a text with blanks; see vesk-cli --help)");
    }
    if (mode == "wspr" && positional.size() != 5) {
        return makeFailed("wspr takes CALLSIGN LOCATOR DBM OUT (see vesk-cli --help)");
    }
    std::string out;
    if (positional.size() > 1) {
        out = words[positional.back()];
        words.erase(words.begin() + static_cast<std::ptrdiff_t>(positional.back()));
    }
    const Result<BeaconPattern> made = beacon::makePatternFromWords(words);
    if (!made) {
        return makeFailed(made.message());
    }
    if (const Result<> written = writeFileAtomically(out, patternFileText(*made)); !written) {
        return makeFailed(written.message());
    }
    std::cout << out << ": " << lengthText(*made) << '\n';
    return 0;
}

} // namespace vesk::cli
