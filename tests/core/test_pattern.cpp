// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone/pattern.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <tuple>

namespace vesk {
namespace {

constexpr std::int32_t hi = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t lo = std::numeric_limits<std::int32_t>::min();

TEST(PatternValues, StartAndResetAreSilentWithTheirParameters) {
    for (const auto& [pattern, dotCount, repeatDots] :
         {std::tuple{startPattern(), 600, 600}, std::tuple{resetPattern(), 100, 200}}) {
        EXPECT_EQ(pattern.dotLength, 100);
        EXPECT_EQ(pattern.dotCount, dotCount);
        EXPECT_EQ(pattern.repeatDots, repeatDots);
        EXPECT_EQ(pattern.frequencySpacing, 10.0f);
        EXPECT_EQ(pattern.centreFrequency, 1000.0f);
        const auto is = [](float v) {
            return [v](float x) {
                return x == v;
            };
        };
        EXPECT_TRUE(std::all_of(pattern.toneIndex.begin(), pattern.toneIndex.end(), is(0.0f)));
        EXPECT_TRUE(std::all_of(pattern.levelCode.begin(), pattern.levelCode.end(), is(1.0f)));
    }
}

TEST(ToneFrequencyAndLevelGain, LadderAroundTheCentreAndInverseOfTheCode) {
    BeaconPattern pattern = startPattern();
    const struct {
        float spacing, centre, row, hertz;
    } ladder[] = {{10.0f, 1000.0f, 1.0f, 1070.0f}, {10.0f, 1000.0f, 16.0f, 920.0f},
                  {0.0f, 1000.0f, 1.0f, 1000.0f},  {10.0f, 50.0f, 16.0f, -30.0f},
                  {2.5f, 1500.0f, 3.0f, 1512.5f},  {-10.0f, 1000.0f, 1.0f, 930.0f}};
    for (const auto& c : ladder) {
        pattern.frequencySpacing = c.spacing;
        pattern.centreFrequency = c.centre;
        pattern.toneIndex[600] = c.row;
        EXPECT_EQ(toneFrequency(pattern, 600), c.hertz) << c.spacing << " Hz, row " << c.row;
    }
    const std::pair<float, double> gains[] = {
        {1.0f, 1.0}, {16.0f, 0.0625}, {0.5f, 2.0}, {-4.0f, -0.25}, {0.0f, HUGE_VAL}};
    for (const auto& [code, gain] : gains) {
        pattern.levelCode[0] = code;
        EXPECT_EQ(levelGain(pattern, 0), gain) << code;
    }
}

TEST(RoundToInt32, TiesToEvenSaturatedNanIsZero) {
    struct Case {
        double value;
        std::int32_t rounded;
    };
    const double inf = std::numeric_limits<double>::infinity();
    // 0.49999999999999994 would round to 1 as floor(x + 0.5).
    const Case ties[] = {{0.5, 0},   {1.5, 2},   {2.5, 2},         {-0.5, 0},
                         {-1.5, -2}, {-2.5, -2}, {-2.5000001, -3}, {0.49999999999999994, 0}};
    const Case edges[] = {
        {1.0e10, hi}, {-1.0e10, lo},      {inf, hi},           {-inf, lo},
        {NAN, 0},     {2147483647.5, hi}, {-2147483648.5, lo}, {2147483646.5, hi - 1}};
    for (const auto& table : {std::span<const Case>(ties), std::span<const Case>(edges)}) {
        for (const Case& c : table) {
            EXPECT_EQ(roundToInt32(c.value), c.rounded) << std::hexfloat << c.value;
        }
    }
}

TEST(OutputLevel, AmplitudeAndReadoutClampedToTheScale) {
    const struct {
        float position;
        std::int32_t amplitude;
        const char* readout;
    } cases[] = {{100.0f, 32767, "0dB"},      {90.0f, 10362, "-10dB"}, {99.0f, 29204, "-1dB"},
                 {0.0f, 0, "-100dB"},         {-5.0f, 0, "-100dB"},    {250.0f, 32767, "0dB"},
                 {std::nanf(""), 0, "-100dB"}};
    for (const auto& c : cases) {
        EXPECT_EQ(amplitudeForLevel(c.position), c.amplitude) << c.position;
        EXPECT_EQ(levelReadout(c.position), c.readout) << c.position;
    }
    EXPECT_EQ(clampOutputLevel(-1.0f), 0.0f);
    EXPECT_EQ(clampOutputLevel(100.5f), 100.0f);
    EXPECT_EQ(clampOutputLevel(42.5f), 42.5f);
}

TEST(ParameterLimits, EachLimitAtAndAcrossItsEdge) {
    const struct {
        std::int32_t in, dotLength, dotCount, repeatDots;
    } cases[] = {{lo, 1, 0, 0},        {-1, 1, 0, 0},        {0, 1, 0, 0},     {1, 1, 1, 1},
                 {600, 600, 600, 600}, {601, 601, 600, 601}, {hi, hi, 600, hi}};
    for (const auto& c : cases) {
        EXPECT_EQ(limitDotLength(c.in), c.dotLength) << c.in;
        EXPECT_EQ(limitDotCount(c.in), c.dotCount) << c.in;
        EXPECT_EQ(limitRepeatDots(c.in), c.repeatDots) << c.in;
    }
    BeaconPattern pattern = startPattern();
    pattern.dotLength = -20;
    pattern.dotCount = 1000;
    pattern.repeatDots = -3;
    pattern.frequencySpacing = -7.0f;
    limitParameters(pattern);
    EXPECT_EQ(std::tuple(pattern.dotLength, pattern.dotCount, pattern.repeatDots),
              std::tuple(1, 600, 0));
    EXPECT_EQ(pattern.frequencySpacing, -7.0f) << "frequencies are not limited";
}

// Every tone row within 0..20 000 Hz, or the first row outside named with its tone; the bands
// of centres and spacings that pass end exactly where the check starts refusing.
TEST(ToneRange, EveryRowWithinZeroTo20kHz) {
    const float nan = std::nanf("");
    const struct {
        float centre, spacing;
        const char* refusal; // "" when it passes
    } cases[] = {
        {1000.0f, 10.0f, ""},
        {80.0f, 10.0f, ""},
        {19930.0f, 10.0f, ""},
        {0.0f, 0.0f, ""},
        {20000.0f, 0.0f, ""},
        {79.5f, 10.0f, "tone row 16 would be at -0.5 Hz, outside 0 to 20000 Hz"},
        {30000.0f, 10.0f, "tone row 1 would be at 30070 Hz, outside 0 to 20000 Hz"},
        {1000.0f, -200.0f, "tone row 1 would be at -400 Hz, outside 0 to 20000 Hz"},
        {nan, 10.0f, "tone row 1 would be at nan Hz, outside 0 to 20000 Hz"},
        {1000.0f, 3.4e38f, "tone row 1 would be at inf Hz, outside 0 to 20000 Hz"},
        {19930.5f, 10.0f, "tone row 1 would be at 20000.5 Hz, outside 0 to 20000 Hz"},
        {1000.0f, -10.0f, ""},
        {20000.5f, 0.0f, "tone row 1 would be at 20000.5 Hz, outside 0 to 20000 Hz"},
        {1e30f, 5.0f, "tone row 1 would be at 1e+30 Hz, outside 0 to 20000 Hz"},
        {1000.0f, 2500.0f, "tone row 9 would be at -1500 Hz, outside 0 to 20000 Hz"},
    };
    for (const auto& c : cases) {
        const Result<> checked = checkToneRange(c.centre, c.spacing);
        EXPECT_EQ(checked.message(), c.refusal) << c.centre << " " << c.spacing;
    }
    for (const float spacing : {-1000.0f, -10.0f, 0.0f, 2.5f, 10.0f, 1333.0f}) {
        const HertzBand band = centreBand(spacing);
        ASSERT_FALSE(band.empty()) << spacing;
        const auto low = static_cast<float>(band.lowest), high = static_cast<float>(band.highest);
        EXPECT_TRUE(checkToneRange(low, spacing) && checkToneRange(high, spacing)) << spacing;
        EXPECT_FALSE(checkToneRange(low - 0.01f, spacing) || checkToneRange(high + 0.01f, spacing))
            << spacing;
    }
    for (const float centre : {0.0f, 80.0f, 1000.0f, 19999.0f}) {
        const HertzBand band = spacingBand(centre);
        ASSERT_FALSE(band.empty()) << centre;
        EXPECT_FALSE(checkToneRange(centre, static_cast<float>(band.highest) + 0.01f)) << centre;
        EXPECT_FALSE(checkToneRange(centre, static_cast<float>(band.lowest) - 0.01f)) << centre;
    }
    EXPECT_TRUE(centreBand(1400.0f).empty()) << "16 rows 1400 Hz apart do not fit in 20 kHz";
    EXPECT_EQ(bandText(spacingBand(1000.0f)), "-142.85 to 125 Hz");
    EXPECT_EQ(bandText(centreBand(10.0f)), "80 to 19930 Hz");
}

} // namespace
} // namespace vesk
