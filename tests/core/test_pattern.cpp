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

// Every row, 7 spacings above the centre to 8 below (either way round), inside 0..20000 Hz.
TEST(ToneRange, AllSixteenRowsInsideTheOutputsRange) {
    const double inf = HUGE_VAL, nan = std::nan("");
    const struct {
        double centre, spacing;
        bool inside;
    } cases[] = {
        {1000, 10, true},  {19930, 10, true},  {19930.5, 10, false}, {80, 10, true},
        {79.5, 10, false}, {1000, -10, true},  {20000, 0, true},     {20000.5, 0, false},
        {-1000, 5, false}, {30000, 5, false},  {1e30, 5, false},     {1000, 2500, false},
        {inf, 5, false},   {1000, nan, false},
    };
    for (const auto& c : cases) {
        const Result<> checked = checkToneRange(c.centre, c.spacing);
        EXPECT_EQ(checked.ok(), c.inside) << c.centre << " Hz, " << c.spacing << " Hz";
        EXPECT_EQ(checked.message().empty(), c.inside) << checked.message();
    }
    EXPECT_EQ(checkToneRange(30000, 5).message(),
              "a centre of 30000 Hz and a spacing of 5 Hz put the tone rows at 29960 Hz to "
              "30035 Hz; every tone row must lie within 0..20000 Hz");
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

} // namespace
} // namespace vesk
