// SPDX-License-Identifier: GPL-3.0-or-later
#include "beacon/generator.h"
#include "preview/spectrogram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace vesk::preview {
namespace {

// The row of the strongest cell in a column.
int brightestRow(const Spectrogram& s, int column) {
    int best = 0;
    for (int r = 1; r < s.rows; ++r) {
        best = s.at(column, r) > s.at(column, best) ? r : best;
    }
    return best;
}

float strongest(const Spectrogram& s, int column) {
    return s.at(column, brightestRow(s, column));
}

// Each dot's brightest bin lies on its tone; a silent dot stays dark.
void expectDotsOnTheirTones(const BeaconPattern& pattern) {
    const Result<Spectrogram> made = makeSpectrogram(pattern);
    ASSERT_TRUE(made) << made.message();
    const Spectrogram& s = *made;
    ASSERT_GT(s.rows, 16);
    for (int dot = 0; dot <= pattern.dotCount; ++dot) {
        const int column = s.columnOf((dot + 0.5) * pattern.dotLength / 1000.0);
        ASSERT_LT(column, s.columns);
        if (pattern.toneIndex[static_cast<std::size_t>(dot)] == 0.0f) {
            EXPECT_LT(strongest(s, column), -60.0f) << "silent dot " << dot;
            continue;
        }
        const double hertz = s.lowestHz + s.hzPerRow * brightestRow(s, column);
        EXPECT_NEAR(hertz, toneFrequency(pattern, dot), s.hzPerRow / 2 + 1e-9) << "dot " << dot;
        EXPECT_NEAR(strongest(s, column),
                    -20.0 * std::log10(double{pattern.levelCode[static_cast<std::size_t>(dot)]}),
                    1.5)
            << "dot " << dot;
    }
}

TEST(Spectrogram, BrightestBinOfEachDotIsItsTone) {
    // A ladder down all 16 rows with a silent slot and all five levels.
    BeaconPattern ladder = resetPattern();
    ladder.dotLength = 400;
    ladder.dotCount = 17;
    for (int dot = 0; dot <= 17; ++dot) {
        ladder.toneIndex[static_cast<std::size_t>(dot)] =
            dot == 9 ? 0.0f : static_cast<float>(dot % 16 + 1);
        ladder.levelCode[static_cast<std::size_t>(dot)] = static_cast<float>(1 << (dot % 5));
    }
    expectDotsOnTheirTones(ladder);
    // WSPR: four tones 1.46 Hz apart.
    const Result<BeaconPattern> made = beacon::makeWsprPattern({"K1ABC", "FN42", 37, 1500.0f});
    ASSERT_TRUE(made);
    expectDotsOnTheirTones(*made);
}

TEST(Spectrogram, ColourScaleRunsFromDarkBlueToWhiteAndClamps) {
    EXPECT_EQ(levelColour(-60.0f, -60.0f, 0.0f), 0x000040u);
    EXPECT_EQ(levelColour(-200.0f, -60.0f, 0.0f), 0x000040u);
    EXPECT_EQ(levelColour(0.0f, -60.0f, 0.0f), 0xFFFFFFu);
    EXPECT_EQ(levelColour(9.0f, -60.0f, 0.0f), 0xFFFFFFu);
    // Brighter (by luminance) all the way up.
    double previous = -1.0;
    for (float db = -60.0f; db <= 0.0f; db += 1.0f) {
        const std::uint32_t c = levelColour(db, -60.0f, 0.0f);
        const double luminance = 0.3 * (c >> 16) + 0.59 * ((c >> 8) & 0xFF) + 0.11 * (c & 0xFF);
        EXPECT_GT(luminance, previous) << db;
        previous = luminance;
    }
}

TEST(Spectrogram, PictureHasTimeAcrossAndFrequencyUp) {
    BeaconPattern pattern = resetPattern();
    pattern.dotCount = 1;
    pattern.toneIndex[0] = 16.0f; // low, then high
    pattern.toneIndex[1] = 1.0f;
    const Result<Spectrogram> made = makeSpectrogram(pattern);
    ASSERT_TRUE(made);
    const Picture p = drawSpectrogram(*made, pattern);
    ASSERT_EQ(p.pixels.size(), static_cast<std::size_t>(p.width * p.height));
    EXPECT_GE(p.height, 256);
    // The brightest pixel of the first dot's columns lies lower than the second dot's.
    const auto brightestY = [&](int x) {
        int best = 0;
        std::uint32_t bestSum = 0;
        for (int y = 0; y < p.height; ++y) {
            const std::uint32_t c = p.pixels[static_cast<std::size_t>(y * p.width + x)];
            const std::uint32_t sum = (c >> 16) + ((c >> 8) & 0xFF) + (c & 0xFF);
            best = sum > bestSum ? y : best;
            bestSum = std::max(sum, bestSum);
        }
        return best;
    };
    // The plot starts after the 10 pixels of tone ticks.
    const int firstX = 10 + made->columnOf(0.05);
    const int secondX = 10 + made->columnOf(0.15);
    EXPECT_GT(brightestY(firstX), brightestY(secondX) + 100);

    // The dB labels right of the colour bar are drawn 10 pixels high: the top one ("0" or
    // "-10") has ink on 10 rows.
    const int labelsX = 10 + made->columns + 6 + 14 + 3;
    int firstLabelRows = 0;
    int top = -1;
    for (int y = 0; y < p.height && (top < 0 || y < top + 20); ++y) {
        bool ink = false;
        for (int x = labelsX; x < p.width; ++x) {
            ink = ink || p.pixels[static_cast<std::size_t>(y * p.width + x)] == 0xD0D0D0u;
        }
        top = top < 0 && ink ? y : top;
        firstLabelRows += ink ? 1 : 0;
    }
    EXPECT_GE(firstLabelRows, 10);
}

} // namespace
} // namespace vesk::preview
