// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone/render.h"

#include "random_patterns.h"
#include "tone/sample_rule.h"
#include "tone/wave_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>
#include <span>
#include <vector>

namespace vesk {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr int kDot100 = 4410; // samples in a dot of 100 ms

std::vector<std::int16_t> render(const BeaconPattern& pattern, std::int32_t amplitude) {
    const Result<RenderedSound> result = renderPattern(pattern, amplitude);
    EXPECT_TRUE(result) << result.message();
    const RenderedSound sound = result.valueOr(RenderedSound());
    std::vector<std::int16_t> samples(static_cast<std::size_t>(sound.sampleCount()));
    sound.copySamples(0, samples.data(), static_cast<int>(samples.size()));
    return samples;
}

std::span<const std::int16_t> dot(const std::vector<std::int16_t>& samples, int d) {
    return std::span<const std::int16_t>(samples).subspan(static_cast<std::size_t>(d * kDot100),
                                                          kDot100);
}

bool allZero(std::span<const std::int16_t> samples) {
    return std::all_of(samples.begin(), samples.end(), [](std::int16_t s) { return s == 0; });
}

TEST(ExactSampleCount, ExactIntegersRoundedHalfToEven) {
    const struct {
        std::int32_t dotLength, dotCount;
        std::int64_t samples;
    } cases[] = {
        {100, 100, 445410},
        {125, 600, 3313012},
        {5, 0, 220},
        {2147483647, 600, 56917121328453},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(vesk::rule::exactSampleCount(c.dotCount, c.dotLength), c.samples)
            << c.dotLength << " ms, " << c.dotCount;
    }
}

TEST(RenderEnvelope, RowsJoinInPhaseAndLevelsRampOverTheFirstTenth) {
    // 7 Hz rows put the dot boundaries away from whole cycles, where a phase reset would hide.
    // A silent dot first: the tone then fades in over 442 samples and out over the last 441.
    BeaconPattern pattern = silentPattern(100, 5);
    pattern.frequencySpacing = 7.0f;
    const double rows[] = {0.0, 1.0, 8.0, 12.0, 5.0, 16.0};
    const double codes[] = {1.0, 1.0, 4.0, 4.0, 2.0, 2.0};
    std::vector<double> expected;
    double phase = 0.0, previous = 0.0; // previous: the dot before's gain, where the ramp starts
    for (int d = 0; d <= 5; ++d) {
        setDots(pattern, d, d, static_cast<float>(rows[d]), static_cast<float>(codes[d]));
        const double gain = rows[d] < 1.0 ? 0.0 : 1.0 / codes[d];
        const double step = gain > 0.0 ? kTwoPi * (1000.0 + 7.0 * (8.0 - rows[d])) / 44100.0 : 0.0;
        for (int j = 0; j < kDot100; ++j) {
            const double level = j <= 441 ? previous + (gain - previous) * j / 441.0 : gain;
            const double fadeOut = d == 5 && j >= 3969 ? (kDot100 - j) / 441.0 : 1.0;
            expected.push_back(32767.0 * level * fadeOut * std::sin(phase + j * step));
        }
        phase = std::fmod(phase + kDot100 * step, kTwoPi);
        previous = gain;
    }
    const std::vector<std::int16_t> samples = render(pattern, 32767);
    ASSERT_EQ(samples.size(), expected.size());
    for (std::size_t n = 0; n < samples.size(); ++n) {
        ASSERT_NEAR(samples[n], expected[n], 0.501) << "sample " << n; // rounding, plus noise
    }
}

TEST(RenderEnvelope, ToneDotOfCodeZeroAndTheRampOutOfItAreSilent) {
    BeaconPattern pattern = silentPattern(100, 2);
    setDots(pattern, 0, 2, 8.0f, 1.0f);
    setDots(pattern, 1, 1, 8.0f, 0.0f);
    const std::vector<std::int16_t> samples = render(pattern, 32767);
    const auto first = dot(samples, 0), third = dot(samples, 2);
    EXPECT_EQ(*std::max_element(first.end() - 441, first.end()), 32767); // no fade-out
    EXPECT_TRUE(allZero(dot(samples, 1)));
    EXPECT_TRUE(allZero(third.first(442)));
    EXPECT_EQ(*std::max_element(third.begin() + 442, third.end()), 32767);
}

TEST(RenderFaults, SilentDotAfterAQuietToneHasNoStep) {
    // The tone ends 104.9 cycles in, so the silent dot's frozen sine is -0.59: a level ramp on
    // it would start near 32767 / 4 x 0.59 = 4800 instead of the silence rule's |v| <= 3.
    BeaconPattern pattern = silentPattern(100, 2);
    pattern.frequencySpacing = 7.0f;
    setDots(pattern, 0, 0, 1.0f, 4.0f);
    const std::vector<std::int16_t> samples = render(pattern, 32767);
    const auto silent = dot(samples, 1);
    const auto [low, high] = std::minmax_element(silent.begin(), silent.end());
    EXPECT_EQ(*low, -2); // 3.2767 x -0.588
    EXPECT_LE(*high, 3);
}

TEST(RenderFaults, LevelCodeBelowOneClipsWithoutWrapping) {
    BeaconPattern pattern = silentPattern(100, 2);
    setDots(pattern, 0, 2, 8.0f, 0.5f);
    const std::vector<std::int16_t> samples = render(pattern, 32767);
    // Twice full scale: two thirds of the middle dot sit at the rails, none wrapped past them.
    const auto middle = dot(samples, 1);
    EXPECT_GT(std::count(middle.begin(), middle.end(), 32767), 1000);
    EXPECT_GT(std::count(middle.begin(), middle.end(), -32767), 1000);
    EXPECT_EQ(samples, renderPatternReference(pattern, 32767));
}

// The parameter limits are the stream's (test_pattern_stream.cpp); one of them shows that the
// render asks for them too.
TEST(RenderPattern, RefusesWhatCannotBeRendered) {
    const struct {
        std::int32_t dotLength, dotCount;
        const char* message;
    } cases[] = {
        {10200, 600,
         "The pattern is too long to render: 270341820 samples (at most 268435456, about 101 "
         "minutes)."},
        {0, 10,
         "The pattern cannot be rendered: the dot length is 0 ms (it must be at least 1 ms)."},
    };
    for (const auto& c : cases) {
        const BeaconPattern pattern = silentPattern(c.dotLength, c.dotCount);
        const Result<RenderedSound> result = renderPattern(pattern, 32767);
        EXPECT_FALSE(result);
        EXPECT_EQ(result.message(), c.message);
        EXPECT_TRUE(renderPatternReference(pattern, 32767).empty());
    }
}

TEST(RenderFast, GivesTheReferenceSamples) {
    std::mt19937 random(20240611);
    std::int64_t total = 0, mismatches = 0;
    for (const auto& c : kRandomPatternCases) {
        const BeaconPattern pattern = randomPattern(c, random);
        const std::vector<std::int16_t> fast = render(pattern, c.amplitude);
        const std::vector<std::int16_t> reference = renderPatternReference(pattern, c.amplitude);
        ASSERT_EQ(fast.size(), reference.size());
        for (std::size_t n = 0; n < fast.size(); ++n) {
            const int difference = std::abs(fast[n] - reference[n]);
            ASSERT_LE(difference, 1) << "sample " << n << " at " << c.dotLength << " ms";
            mismatches += difference;
        }
        total += static_cast<std::int64_t>(fast.size());
    }
    EXPECT_LE(mismatches, total / 1000000) << "of " << total << " samples";
}

// Whether `samples` measure as a sine of `hertz` with peak `amplitude`: the frequency from
// the interpolated upward zero crossings, the level by correlation at that frequency.
bool isTone(std::span<const std::int16_t> samples, double hertz, double amplitude) {
    std::vector<double> up;
    for (std::size_t n = 0; n + 1 < samples.size(); ++n) {
        if (samples[n] < 0 && samples[n + 1] >= 0) {
            const double fraction = samples[n] / static_cast<double>(samples[n] - samples[n + 1]);
            up.push_back(static_cast<double>(n) + fraction);
        }
    }
    if (up.size() < 2) {
        return false;
    }
    const double measured = static_cast<double>(up.size() - 1) * 44100.0 / (up.back() - up.front());
    std::complex<double> sum;
    for (std::size_t n = 0; n < samples.size(); ++n) {
        sum += std::polar(static_cast<double>(samples[n]),
                          kTwoPi * measured * static_cast<double>(n) / 44100.0);
    }
    const double level = 2.0 * std::abs(sum) / static_cast<double>(samples.size());
    return std::fabs(measured - hertz) <= 0.5 &&
           std::fabs(level - amplitude) <= 0.005 * amplitude + 0.5;
}

TEST(RenderedTone, MeasuresAsTheRowsFrequencyAndTheLevel) {
    const struct {
        float outputLevel, row, code;
        double hertz;
    } cases[] = {
        {100.0f, 4.0f, 4.0f, 1040.0}, {80.0f, 16.0f, 4.0f, 920.0}, {90.0f, 1.0f, 16.0f, 1070.0}};
    // Rows whose samples come close to the sine's crest, so that the peak shows.
    for (const auto& c : cases) {
        BeaconPattern pattern = silentPattern(100, 6);
        setDots(pattern, 0, 6, c.row, c.code);
        const std::int32_t amplitude = amplitudeForLevel(c.outputLevel);
        const std::vector<std::int16_t> samples = render(pattern, amplitude);
        const auto middle = dot(samples, 3);
        const double peak = amplitude / static_cast<double>(c.code);
        EXPECT_TRUE(isTone(middle, c.hertz, peak)) << "row " << c.row << ", code " << c.code;
        EXPECT_EQ(*std::max_element(middle.begin(), middle.end()), std::lround(peak));
        // Negative controls: the check tells a neighbouring row and a 10% lower level apart.
        EXPECT_FALSE(isTone(middle, c.hertz + 10.0, peak));
        EXPECT_FALSE(isTone(middle, c.hertz, peak * 0.9));
    }
}

} // namespace
} // namespace vesk
