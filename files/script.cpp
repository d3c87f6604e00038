// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/script.h"

#include "files/number_text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace vesk {

namespace {

// Tone step of a silent slot (toneIndex 0).
constexpr std::int32_t kSilentStep = 16;

int lastScriptSlot(const BeaconPattern& pattern) {
    return std::min(pattern.dotCount, kMaxDotCount);
}

} // namespace

void normaliseErasedLevels(BeaconPattern& pattern) {
    const int last = lastScriptSlot(pattern);
    for (int slot = 0; slot <= last; ++slot) {
        float& code = pattern.levelCode[static_cast<std::size_t>(slot)];
        if (code == 0.0f) {
            code = 1.0f;
        }
    }
}

std::string levelText(float levelCode) {
    if (!(levelCode > 0.0f)) {
        return "0";
    }
    return formatSignificant(std::log2(static_cast<double>(levelCode)), 1);
}

std::string hexText(std::int32_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    auto bits = static_cast<std::uint32_t>(value);
    std::string text;
    do {
        text.insert(text.begin(), kDigits[bits & 0xFu]);
        bits >>= 4;
    } while (bits != 0);
    return text;
}

std::string scriptText(const BeaconPattern& pattern) {
    const int last = lastScriptSlot(pattern);
    std::string line;
    line.reserve(static_cast<std::size_t>(std::max(last + 1, 0)) * 2 + 4);
    for (int slot = 0; slot <= last; ++slot) {
        const auto s = static_cast<std::size_t>(slot);
        const float code = pattern.levelCode[s];
        if (slot == 0 || code != pattern.levelCode[s - 1]) {
            line += 'P';
            line += levelText(code);
        }
        const std::int32_t step = roundToInt32(16.0 - static_cast<double>(pattern.toneIndex[s]));
        line += step == kSilentStep ? std::string("X") : hexText(step);
    }
    std::size_t start = 0;
    while (line.compare(start, 2, "P0") == 0) {
        start += 2;
    }
    line.erase(0, start);
    line += "Q\r\n";
    return line;
}

} // namespace vesk
