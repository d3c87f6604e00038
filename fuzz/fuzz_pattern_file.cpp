// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes read as a pattern file must either be refused with a line and a reason or give a
// pattern inside the limits with finite reals, and the text written for it must read back to
// the same pattern (reals to the 7 digits the text keeps).
#include "files/number_reader.h"
#include "files/pattern_file.h"
#include "files/script.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Seven significant digits and one rounding to single precision apart at most.
bool closeEnough(float written, float readBack) {
    const double a = static_cast<double>(written);
    const double b = static_cast<double>(readBack);
    const double tolerance =
        2e-6 * std::fabs(a) + 2.0 * static_cast<double>(std::numeric_limits<float>::denorm_min());
    return std::fabs(a - b) <= tolerance;
}

void checkLimits(const vesk::BeaconPattern& pattern) {
    require(pattern.dotLength >= 1);
    require(pattern.dotCount >= 0 && pattern.dotCount <= vesk::kMaxDotCount);
    require(pattern.repeatDots >= 0);
    require(std::isfinite(pattern.frequencySpacing));
    require(std::isfinite(pattern.centreFrequency));
    for (std::size_t slot = 0; slot < pattern.toneIndex.size(); ++slot) {
        require(pattern.toneIndex[slot] >= 0.0f &&
                pattern.toneIndex[slot] <= static_cast<float>(vesk::kToneRows));
        require(std::isfinite(pattern.levelCode[slot]));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const vesk::Result<vesk::BeaconPattern> read = vesk::readPatternText(bytes);
    if (!read) {
        // "line N: " with N from 1, then what is wrong.
        const std::string& message = read.message();
        const std::size_t colon = message.find(": ");
        require(message.rfind("line ", 0) == 0 && colon != std::string::npos &&
                colon + 2 < message.size() && message[5] >= '1' && message[5] <= '9');
        return 0;
    }
    const vesk::BeaconPattern& first = *read;
    checkLimits(first);

    const std::string text = vesk::patternFileText(first);
    const vesk::Result<vesk::BeaconPattern> readBack = vesk::readPatternText(text);
    require(readBack.ok());
    const vesk::BeaconPattern& second = *readBack;
    checkLimits(second);
    require(second.dotLength == first.dotLength);
    require(second.dotCount == first.dotCount);
    require(second.repeatDots == first.repeatDots);
    require(closeEnough(first.frequencySpacing, second.frequencySpacing));
    require(closeEnough(first.centreFrequency, second.centreFrequency));
    for (std::size_t slot = 0; slot < first.toneIndex.size(); ++slot) {
        if (slot <= static_cast<std::size_t>(first.dotCount)) {
            require(closeEnough(first.toneIndex[slot], second.toneIndex[slot]));
            require(closeEnough(first.levelCode[slot], second.levelCode[slot]));
        } else {
            require(second.toneIndex[slot] == 0.0f && second.levelCode[slot] == 0.0f);
        }
    }

    // Once written, a pattern's text is settled: writing what was read gives the same text.
    const std::string again = vesk::patternFileText(second);
    const vesk::Result<vesk::BeaconPattern> readAgain = vesk::readPatternText(again);
    require(readAgain.ok() && vesk::patternFileText(*readAgain) == again);

    vesk::BeaconPattern exported = first;
    vesk::normaliseErasedLevels(exported);
    const std::string script = vesk::scriptText(exported);
    require(script.size() >= 3 && script.compare(script.size() - 3, 3, "Q\r\n") == 0);
    return 0;
}
