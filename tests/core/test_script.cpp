// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/script.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vesk {
namespace {

BeaconPattern patternOf(const std::vector<float>& tones, const std::vector<float>& levels) {
    BeaconPattern pattern = startPattern();
    pattern.dotCount = static_cast<std::int32_t>(tones.size()) - 1;
    for (std::size_t slot = 0; slot < tones.size(); ++slot) {
        pattern.toneIndex[slot] = tones[slot];
        pattern.levelCode[slot] = levels[slot];
    }
    return pattern;
}

TEST(ScriptText, ToneCharactersAndLevelCommands) {
    const struct {
        std::vector<float> tones;
        std::vector<float> levels;
        const char* line;
    } cases[] = {
        {{8, 8, 0, 3, 3}, {1, 1, 1, 4, 4}, "88XP2DDQ\r\n"},
        {{8, 8, 0, 3, 3}, {2, 2, 2, 2, 2}, "P188XDDQ\r\n"},
        {{1, 16, 8, 0}, {1, 1, 1, 1}, "F08XQ\r\n"},
        {{16, 16}, {1, 2}, "0P10Q\r\n"},              // only the leading "P0" goes
        {{5, 5, 5}, {4, 1, 16}, "P2BP0BP4BQ\r\n"},    // a later "P0" stays
        {{8.5f, 7.5f, 0.4f}, {1, 1, 1}, "88XQ\r\n"},  // 7.5 and 8.5 round to even; 15.6 to 16
        {{17, 100}, {1, 1}, "FFFFFFFFFFFFFFACQ\r\n"}, // beyond row 16: two's complement
        {{-4}, {1}, "14Q\r\n"},
        {{8}, {0}, "8Q\r\n"}, // code 0 prints as "P0" too
        {{8, 8, 8}, {3, 0.5f, 1024}, "P28P-18P1E+18Q\r\n"},
        {{8}, {-2}, "8Q\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(scriptText(patternOf(c.tones, c.levels)), c.line) << c.line;
    }
}

TEST(ScriptText, DotCountDecidesTheLength) {
    BeaconPattern pattern = resetPattern();
    EXPECT_EQ(scriptText(pattern), std::string(101, 'X') + "Q\r\n");
    pattern.dotCount = 0;
    EXPECT_EQ(scriptText(pattern), "XQ\r\n");
    pattern.dotCount = -1;
    EXPECT_EQ(scriptText(pattern), "Q\r\n");
    pattern.dotCount = 1000; // a bad count never reaches past slot 600
    EXPECT_EQ(scriptText(pattern), std::string(601, 'X') + "Q\r\n");
}

TEST(NormaliseErasedLevels, OnlySlotsInUseAndOnlyErasedOnes) {
    BeaconPattern pattern = patternOf({8, 8, 8, 8}, {1, 0, 4, 0});
    pattern.levelCode[4] = 0.0f; // above dotCount 3
    pattern.dotCount = 3;
    normaliseErasedLevels(pattern);
    EXPECT_EQ(pattern.levelCode[0], 1.0f);
    EXPECT_EQ(pattern.levelCode[1], 1.0f);
    EXPECT_EQ(pattern.levelCode[2], 4.0f);
    EXPECT_EQ(pattern.levelCode[3], 1.0f);
    EXPECT_EQ(pattern.levelCode[4], 0.0f);
    EXPECT_EQ(scriptText(pattern), "88P28P08Q\r\n");

    pattern.dotCount = 1000;
    pattern.levelCode.fill(0.0f);
    normaliseErasedLevels(pattern);
    EXPECT_EQ(pattern.levelCode[600], 1.0f);
}

TEST(NormaliseErasedLevels, ErasedSlotBetweenFullLevelsNeedsNoLevelCommand) {
    BeaconPattern pattern = patternOf({8, 3, 8}, {1, 0, 1});
    EXPECT_EQ(scriptText(pattern), "8P0DP08Q\r\n");
    normaliseErasedLevels(pattern);
    EXPECT_EQ(scriptText(pattern), "8D8Q\r\n");
}

} // namespace
} // namespace vesk
