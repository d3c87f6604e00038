#include "tone/pattern.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace vesk {
namespace {

constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kInt32Min = std::numeric_limits<std::int32_t>::min();

TEST(PatternValues, StartAndResetAreSilentWithTheirParameters) {
    const struct {
        const char* name;
        BeaconPattern pattern;
        std::int32_t dotCount;
        std::int32_t repeatDots;
    } cases[] = {
        {"start", startPattern(), 600, 600},
        {"reset", resetPattern(), 100, 200},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.pattern.dotLength, 100);
        EXPECT_EQ(c.pattern.dotCount, c.dotCount);
        EXPECT_EQ(c.pattern.repeatDots, c.repeatDots);
        EXPECT_EQ(c.pattern.frequencySpacing, 10.0f);
        EXPECT_EQ(c.pattern.centreFrequency, 1000.0f);
        for (int slot = 0; slot < kSlotCount; ++slot) {
            ASSERT_EQ(c.pattern.toneIndex[static_cast<std::size_t>(slot)], 0.0f) << slot;
            ASSERT_EQ(c.pattern.levelCode[static_cast<std::size_t>(slot)], 1.0f) << slot;
        }
    }
}

TEST(ToneFrequency, LadderAroundTheCentre) {
    BeaconPattern pattern = startPattern();
    const struct {
        float spacing;
        float centre;
        float row;
        float hertz;
    } cases[] = {
        {10.0f, 1000.0f, 1.0f, 1070.0f}, {10.0f, 1000.0f, 8.0f, 1000.0f},
        {10.0f, 1000.0f, 16.0f, 920.0f}, {0.0f, 1000.0f, 1.0f, 1000.0f},
        {0.0f, 1000.0f, 16.0f, 1000.0f}, {10.0f, 50.0f, 16.0f, -30.0f}, // not prevented
        {2.5f, 1500.0f, 3.0f, 1512.5f},  {-10.0f, 1000.0f, 1.0f, 930.0f},
    };
    for (const auto& c : cases) {
        pattern.frequencySpacing = c.spacing;
        pattern.centreFrequency = c.centre;
        pattern.toneIndex[600] = c.row;
        EXPECT_EQ(toneFrequency(pattern, 600), c.hertz)
            << c.spacing << " Hz spacing, " << c.centre << " Hz centre, row " << c.row;
    }
}

TEST(LevelGain, InverseOfTheCode) {
    BeaconPattern pattern = startPattern();
    const struct {
        float code;
        double gain;
    } cases[] = {{1.0f, 1.0},     {2.0f, 0.5}, {4.0f, 0.25},  {8.0f, 0.125},
                 {16.0f, 0.0625}, {0.5f, 2.0}, {-4.0f, -0.25}};
    for (const auto& c : cases) {
        pattern.levelCode[0] = c.code;
        EXPECT_EQ(levelGain(pattern, 0), c.gain) << c.code;
    }
    pattern.levelCode[0] = 0.0f;
    EXPECT_TRUE(std::isinf(levelGain(pattern, 0)));
}

TEST(RoundToInt32, TiesToEvenSaturatedNanIsZero) {
    const struct {
        double value;
        std::int32_t rounded;
    } cases[] = {
        {0.0, 0},
        {0.5, 0},
        {1.5, 2},
        {2.5, 2},
        {3.5, 4},
        {-0.5, 0},
        {-1.5, -2},
        {-2.5, -2},
        {0.49999999999999994, 0}, // floor(x + 0.5) would give 1
        {2.4999999, 2},
        {-2.5000001, -3},
        {10361.9, 10362},
        {2147483646.5, 2147483646},
        {2147483647.4, kInt32Max},
        {2147483647.5, kInt32Max},
        {1.0e10, kInt32Max},
        {-2147483648.4, kInt32Min},
        {-2147483648.5, kInt32Min},
        {-1.0e10, kInt32Min},
        {std::numeric_limits<double>::infinity(), kInt32Max},
        {-std::numeric_limits<double>::infinity(), kInt32Min},
        {std::nan(""), 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(roundToInt32(c.value), c.rounded) << std::hexfloat << c.value;
    }
}

TEST(OutputLevel, AmplitudeAndReadoutClampedToTheScale) {
    const struct {
        float position;
        std::int32_t amplitude;
        const char* readout;
    } cases[] = {
        {100.0f, 32767, "0dB"}, {90.0f, 10362, "-10dB"}, {80.0f, 3277, "-20dB"},
        {0.0f, 0, "-100dB"},    {99.0f, 29204, "-1dB"},  {50.0f, 104, "-50dB"},
        {-5.0f, 0, "-100dB"},   {250.0f, 32767, "0dB"},  {std::nanf(""), 0, "-100dB"},
    };
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
        std::int32_t in;
        std::int32_t dotLength;
        std::int32_t dotCount;
        std::int32_t repeatDots;
    } cases[] = {
        {kInt32Min, 1, 0, 0},
        {-1, 1, 0, 0},
        {0, 1, 0, 0},
        {1, 1, 1, 1},
        {600, 600, 600, 600},
        {601, 601, 600, 601},
        {kInt32Max, kInt32Max, 600, kInt32Max},
    };
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
    EXPECT_EQ(pattern.dotLength, 1);
    EXPECT_EQ(pattern.dotCount, 600);
    EXPECT_EQ(pattern.repeatDots, 0);
    EXPECT_EQ(pattern.frequencySpacing, -7.0f); // frequencies are not limited
}

} // namespace
} // namespace vesk
