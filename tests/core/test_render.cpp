#include "tone/render.h"

#include "files/wave_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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

BeaconPattern silentPattern(std::int32_t dotLength, std::int32_t dotCount) {
    BeaconPattern pattern = startPattern();
    pattern.dotLength = dotLength;
    pattern.dotCount = dotCount;
    return pattern;
}

void setDot(BeaconPattern& pattern, int slot, float row, float code) {
    pattern.toneIndex[static_cast<std::size_t>(slot)] = row;
    pattern.levelCode[static_cast<std::size_t>(slot)] = code;
}

std::vector<std::int16_t> render(const BeaconPattern& pattern, std::int32_t amplitude) {
    const RenderResult result = renderPattern(pattern, amplitude);
    EXPECT_TRUE(result.ok) << result.error;
    std::vector<std::int16_t> samples(static_cast<std::size_t>(result.sound.sampleCount()));
    result.sound.copySamples(0, samples.data(), static_cast<int>(samples.size()));
    return samples;
}

std::span<const std::int16_t> dot(const std::vector<std::int16_t>& samples, int d,
                                  int dotSamples = kDot100) {
    return std::span<const std::int16_t>(samples).subspan(static_cast<std::size_t>(d * dotSamples),
                                                          static_cast<std::size_t>(dotSamples));
}

// A continuous-phase tone: per dot a frequency and an envelope factor per sample.
struct Expected {
    double phase = 0.0;
    std::vector<double> values;

    template <typename Envelope> void addDot(double hertz, int samples, Envelope envelope) {
        const double step = kTwoPi * hertz / 44100.0;
        for (int j = 0; j < samples; ++j) {
            values.push_back(std::sin(phase + j * step) * envelope(j));
        }
        phase = std::fmod(phase + samples * step, kTwoPi);
    }
};

// Every sample within half a step (plus rounding noise) of the expected waveform.
testing::AssertionResult followsExpected(const std::vector<std::int16_t>& samples,
                                         const Expected& expected) {
    if (samples.size() < expected.values.size()) {
        return testing::AssertionFailure() << "only " << samples.size() << " samples";
    }
    for (std::size_t n = 0; n < expected.values.size(); ++n) {
        if (std::fabs(samples[n] - expected.values[n]) > 0.501) {
            return testing::AssertionFailure()
                   << "sample " << n << " is " << samples[n] << ", expected " << expected.values[n];
        }
    }
    return testing::AssertionSuccess();
}

TEST(PatternSampleCount, ExactIntegersRoundedHalfToEven) {
    const struct {
        std::int32_t dotLength, dotCount;
        std::int64_t samples;
    } cases[] = {{100, 100, 445410},
                 {125, 600, 3313012},
                 {5, 0, 220},
                 {1, 0, 44},
                 {0, 0, 44},
                 {100, 700, 2650410}, // limited
                 {2147483647, 600, 56917121328453}};
    for (const auto& c : cases) {
        EXPECT_EQ(patternSampleCount(silentPattern(c.dotLength, c.dotCount)), c.samples)
            << c.dotLength << " ms, " << c.dotCount;
    }
}

TEST(RenderPattern, FreshStartIsAllZero) {
    const RenderResult result = renderPattern(startPattern(), 10362);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.sound.waveImage().size(), 5300864u);
    const auto data = result.sound.waveData();
    EXPECT_EQ(std::count(data.begin(), data.end(), 0), static_cast<long>(data.size()));
}

TEST(RenderPattern, ImageOfAHundredAndOneDots) {
    BeaconPattern pattern = silentPattern(100, 100);
    for (int d = 10; d < 60; ++d) {
        setDot(pattern, d, 5.0f, 2.0f);
    }
    const RenderResult result = renderPattern(pattern, 32767);
    ASSERT_TRUE(result.ok);
    const auto image = result.sound.waveImage();
    ASSERT_EQ(image.size(), 890864u);
    std::vector<std::uint8_t> header(image.begin(), image.begin() + kWaveHeaderSize);
    std::vector<std::uint8_t> expectedHeader(kWaveHeaderSize);
    writeWaveHeader(expectedHeader.data(), 445410);
    EXPECT_EQ(header, expectedHeader);
    EXPECT_EQ(result.sound.waveData().data(), image.data() + kWaveHeaderSize);
    int nonZero = 0;
    for (std::int64_t k = 0; k < 445410; k += 97) {
        const std::size_t at = kWaveHeaderSize + 2 * static_cast<std::size_t>(k);
        const auto fromBytes = static_cast<std::int16_t>(image[at] | image[at + 1] << 8);
        ASSERT_EQ(result.sound.sample(k), fromBytes) << k;
        nonZero += fromBytes != 0;
    }
    EXPECT_GT(nonZero, 1000);
}

TEST(RenderPattern, DotsOf125MsLeaveThreeHundredTrailingZeros) {
    BeaconPattern pattern = silentPattern(125, 600);
    for (int d = 0; d <= 600; ++d) {
        setDot(pattern, d, 8.0f, 1.0f);
    }
    const std::vector<std::int16_t> samples = render(pattern, 32767);
    ASSERT_EQ(samples.size(), 3313012u);
    const auto rendered = samples.begin() + 601 * 5512;
    EXPECT_TRUE(std::all_of(rendered, samples.end(), [](std::int16_t s) { return s == 0; }));
    EXPECT_TRUE(std::any_of(rendered - 300, rendered, [](std::int16_t s) { return s != 0; }));
}

TEST(RenderEnvelope, LoneToneDotFadesInOverItsFirstTenthAndOutOverItsLast) {
    BeaconPattern pattern = silentPattern(100, 2);
    setDot(pattern, 1, 8.0f, 1.0f);
    Expected expected;
    expected.addDot(0.0, kDot100, [](int) { return 0.0; });
    expected.addDot(1000.0, kDot100, [](int j) {
        // 442 samples up to factor 1, 441 samples down from just below 1.
        return 32767.0 * (j <= 441 ? j / 441.0 : j >= 3969 ? (kDot100 - j) / 441.0 : 1.0);
    });
    EXPECT_TRUE(followsExpected(render(pattern, 32767), expected));
}

TEST(RenderEnvelope, RowsJoinInPhaseAndLevelsRampOverTheFirstTenth) {
    // 7 Hz rows put the dot boundaries away from whole cycles, where a phase reset would hide.
    BeaconPattern pattern = silentPattern(100, 4);
    pattern.frequencySpacing = 7.0f;
    const double rows[] = {1.0, 8.0, 12.0, 5.0, 16.0};
    const double codes[] = {1.0, 4.0, 4.0, 2.0, 2.0};
    Expected expected;
    double previous = 0.0; // gain of the dot before: the ramp starts there
    for (int d = 0; d <= 4; ++d) {
        setDot(pattern, d, static_cast<float>(rows[d]), static_cast<float>(codes[d]));
        const double gain = 1.0 / codes[d];
        expected.addDot(1000.0 + 7.0 * (8.0 - rows[d]), kDot100, [=](int j) {
            const double level = j <= 441 ? previous + (gain - previous) * j / 441.0 : gain;
            return 32767.0 * level * (d == 4 && j >= 3969 ? (kDot100 - j) / 441.0 : 1.0);
        });
        previous = gain;
    }
    EXPECT_TRUE(followsExpected(render(pattern, 32767), expected));
}

TEST(RenderEnvelope, ToneDotOfCodeZeroAndTheRampOutOfItAreSilent) {
    BeaconPattern pattern = silentPattern(100, 2);
    setDot(pattern, 0, 8.0f, 1.0f);
    setDot(pattern, 1, 8.0f, 0.0f);
    setDot(pattern, 2, 8.0f, 1.0f);
    const std::vector<std::int16_t> samples = render(pattern, 32767);
    const auto zero = [](std::int16_t s) {
        return s == 0;
    };
    const auto first = dot(samples, 0);
    EXPECT_EQ(*std::max_element(first.end() - 441, first.end()), 32767); // no fade-out
    EXPECT_TRUE(std::all_of(dot(samples, 1).begin(), dot(samples, 1).end(), zero));
    const auto third = dot(samples, 2);
    EXPECT_TRUE(std::all_of(third.begin(), third.begin() + 442, zero));
    EXPECT_EQ(*std::max_element(third.begin() + 442, third.end()), 32767);
}

TEST(RenderFaults, SilentDotAfterAQuietToneHasNoStep) {
    // The tone ends 104.9 cycles in, so the silent dot's frozen sine is -0.59: a level ramp on
    // it would start near 32767 / 4 x 0.59 = 4800 instead of the silence rule's |v| <= 3.
    BeaconPattern pattern = silentPattern(100, 2);
    pattern.frequencySpacing = 7.0f;
    setDot(pattern, 0, 1.0f, 4.0f);
    const std::vector<std::int16_t> samples = render(pattern, 32767);
    const auto silent = dot(samples, 1);
    const auto [low, high] = std::minmax_element(silent.begin(), silent.end());
    EXPECT_GE(*low, -3);
    EXPECT_LE(*high, 3);
    EXPECT_EQ(*low, -2); // 3.2767 x -0.588, held for the whole dot
}

TEST(RenderFaults, LevelCodeBelowOneClipsWithoutWrapping) {
    BeaconPattern pattern = silentPattern(100, 2);
    for (int d = 0; d <= 2; ++d) {
        setDot(pattern, d, 8.0f, 0.5f);
    }
    const std::vector<std::int16_t> samples = render(pattern, 32767);
    const auto middle = dot(samples, 1);
    const double step = kTwoPi * 1000.0 / 44100.0;
    int clipped = 0;
    for (int j = 0; j < kDot100; ++j) {
        const double ideal = 65534.0 * std::sin((kDot100 + j) * step);
        if (std::fabs(ideal) > 32768.0) {
            ASSERT_EQ(middle[static_cast<std::size_t>(j)], ideal > 0 ? 32767 : -32767) << j;
            ++clipped;
        }
    }
    EXPECT_GT(clipped, 2000);
    EXPECT_EQ(samples, renderPatternReference(pattern, 32767));
}

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
        {100, 601,
         "The pattern cannot be rendered: the number of dots is 601 (it must be 0 to 600)."},
        {100, -1,
         "The pattern cannot be rendered: the number of dots is -1 (it must be 0 to 600)."},
    };
    for (const auto& c : cases) {
        const BeaconPattern pattern = silentPattern(c.dotLength, c.dotCount);
        const RenderResult result = renderPattern(pattern, 32767);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, c.message);
        EXPECT_TRUE(result.sound.empty());
        EXPECT_TRUE(renderPatternReference(pattern, 32767).empty());
    }
}

TEST(RenderProgress, BlocksCountDownEveryTenthOfTheDots) {
    const struct {
        std::int32_t dotCount;
        std::vector<int> blocks;
    } cases[] = {
        {100, {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}},
        {25, {10, 10, 10, 10, 8, 8, 6, 6, 4, 4, 2, 2, 0}}, // 12.5, 11.5, ... 0.5 to even
        {5, {5, 4, 3, 2, 1, 0}},                           // fewer than 10: every dot
        {0, {0}},
        {35, {10, 10, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}}, // ends at 2/3 of an interval
    };
    for (const auto& c : cases) {
        std::vector<int> seen;
        const RenderResult result = renderPattern(silentPattern(1, c.dotCount), 32767,
                                                  [&seen](int blocks) { seen.push_back(blocks); });
        EXPECT_TRUE(result.ok);
        EXPECT_EQ(seen, c.blocks) << c.dotCount << " dots";
    }
}

// Rows, levels and silent gaps at random, with the unusual values a pattern file may carry.
BeaconPattern randomPattern(std::mt19937& random, std::int32_t dotLength, std::int32_t dotCount,
                            bool unusual) {
    BeaconPattern pattern = silentPattern(dotLength, dotCount);
    const float usual[] = {1.0f, 2.0f, 4.0f, 8.0f, 16.0f, 0.0f};
    const float odd[] = {0.5f, 3.0f, -2.0f, 1e-40f, std::nanf(""), 0.75f};
    std::uniform_int_distribution<int> row(-4, 16); // below 1: a silent dot
    std::uniform_int_distribution<int> pick(0, 5);
    for (int d = 0; d <= dotCount; ++d) {
        setDot(pattern, d, static_cast<float>(std::max(row(random), 0)),
               unusual && pick(random) == 0 ? odd[pick(random)] : usual[pick(random)]);
    }
    return pattern;
}

TEST(RenderFast, GivesTheReferenceSamples) {
    std::mt19937 random(20240611);
    struct Case {
        std::int32_t dotLength, dotCount, amplitude;
        float spacing, centre;
        bool unusual;
    };
    const Case cases[] = {
        {100, 600, 10362, 10.0f, 1000.0f, false}, {125, 600, 32767, 10.0f, 1000.0f, false},
        {1, 600, 32767, 10.0f, 1000.0f, false},   {7, 300, 3277, 25.0f, 1800.0f, false},
        {333, 40, 32767, 3.0f, 700.0f, false},    {100, 600, 0, 10.0f, 1000.0f, false},
        {100, 200, 32767, 10.0f, -400.0f, true},  {50, 200, 32767, 3000.0f, 21000.0f, true},
        {100, 100, 20000, 1.0e6f, 3.0e7f, true},
    };
    std::int64_t total = 0;
    std::int64_t mismatches = 0;
    for (const Case& c : cases) {
        BeaconPattern pattern = randomPattern(random, c.dotLength, c.dotCount, c.unusual);
        pattern.frequencySpacing = c.spacing;
        pattern.centreFrequency = c.centre;
        const std::vector<std::int16_t> fast = render(pattern, c.amplitude);
        const std::vector<std::int16_t> reference = renderPatternReference(pattern, c.amplitude);
        ASSERT_EQ(fast.size(), reference.size());
        for (std::size_t n = 0; n < fast.size(); ++n) {
            if (fast[n] != reference[n]) {
                ASSERT_LE(std::abs(fast[n] - reference[n]), 1)
                    << "sample " << n << " at " << c.dotLength << " ms";
                ++mismatches;
            }
        }
        total += static_cast<std::int64_t>(fast.size());
    }
    EXPECT_LE(mismatches, total / 1000000) << "of " << total << " samples";
}

// Frequency from the interpolated upward zero crossings, level by correlation at it.
struct Measured {
    double hertz = 0.0;
    double amplitude = 0.0;
};

Measured measure(std::span<const std::int16_t> samples) {
    std::vector<double> crossings;
    for (std::size_t n = 0; n + 1 < samples.size(); ++n) {
        if (samples[n] < 0 && samples[n + 1] >= 0) {
            crossings.push_back(static_cast<double>(n) +
                                samples[n] / static_cast<double>(samples[n] - samples[n + 1]));
        }
    }
    Measured result;
    if (crossings.size() < 2) {
        return result;
    }
    result.hertz = static_cast<double>(crossings.size() - 1) * 44100.0 /
                   (crossings.back() - crossings.front());
    double inPhase = 0.0;
    double quadrature = 0.0;
    for (std::size_t n = 0; n < samples.size(); ++n) {
        const double angle = kTwoPi * result.hertz * static_cast<double>(n) / 44100.0;
        inPhase += samples[n] * std::cos(angle);
        quadrature += samples[n] * std::sin(angle);
    }
    result.amplitude = 2.0 * std::hypot(inPhase, quadrature) / static_cast<double>(samples.size());
    return result;
}

testing::AssertionResult isTone(std::span<const std::int16_t> samples, double hertz,
                                double amplitude) {
    const Measured got = measure(samples);
    if (std::fabs(got.hertz - hertz) > 0.5 ||
        std::fabs(got.amplitude - amplitude) > 0.005 * amplitude + 0.5) {
        return testing::AssertionFailure() << "measured " << got.hertz << " Hz at " << got.amplitude
                                           << ", expected " << hertz << " Hz at " << amplitude;
    }
    return testing::AssertionSuccess();
}

TEST(RenderedTone, MeasuresAsTheRowsFrequencyAndTheLevel) {
    const struct {
        float outputLevel, row, code;
        double hertz;
    } cases[] = {
        // Rows whose samples come close to the sine's crest, so that the peak shows.
        {100.0f, 4.0f, 4.0f, 1040.0},
        {80.0f, 16.0f, 4.0f, 920.0},
        {90.0f, 1.0f, 16.0f, 1070.0},
    };
    for (const auto& c : cases) {
        BeaconPattern pattern = silentPattern(100, 6);
        for (int d = 0; d <= 6; ++d) {
            setDot(pattern, d, c.row, c.code);
        }
        const std::int32_t amplitude = amplitudeForLevel(c.outputLevel);
        const std::vector<std::int16_t> samples = render(pattern, amplitude);
        const auto middle = dot(samples, 3);
        const double peak = amplitude / static_cast<double>(c.code);
        EXPECT_TRUE(isTone(middle, c.hertz, peak)) << "row " << c.row << ", code " << c.code;
        EXPECT_EQ(*std::max_element(middle.begin(), middle.end()), std::lround(peak));
        // Negative controls: the check must tell a neighbouring row apart.
        EXPECT_FALSE(isTone(middle, c.hertz + 10.0, peak));
        EXPECT_FALSE(isTone(middle, c.hertz, peak * 0.9));
    }
}

TEST(RenderedSound, ReadsOutsideThePatternGiveSilence) {
    const RenderedSound sound(buildWaveImage(std::vector<std::int16_t>{1, -2, 3, 4, 32767}));
    EXPECT_EQ(sound.sampleCount(), 5);
    constexpr std::int64_t far = std::numeric_limits<std::int64_t>::max();
    const struct {
        std::int64_t from;
        std::vector<std::int16_t> expected;
    } cases[] = {
        {0, {1, -2, 3, 4, 32767}},   {-2, {0, 0, 1, -2, 3}}, {3, {4, 32767, 0, 0, 0}},
        {-9, {0, 0, 0, 0, 0}},       {5, {0, 0, 0, 0, 0}},   {far, {0, 0, 0, 0, 0}},
        {-far - 1, {0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        std::vector<std::int16_t> out(5, 99);
        sound.copySamples(c.from, out.data(), 5);
        EXPECT_EQ(out, c.expected) << "from " << c.from;
        EXPECT_EQ(sound.sample(c.from), c.expected[0]) << "from " << c.from;
    }
    const RenderedSound none;
    EXPECT_TRUE(none.empty() && none.waveImage().empty() && none.waveData().empty());
    EXPECT_EQ(none.sample(0), 0);
}

} // namespace
} // namespace vesk
