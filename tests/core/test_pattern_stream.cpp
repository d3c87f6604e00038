// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone/pattern_stream.h"

#include "random_patterns.h"
#include "tone/render.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace vesk {
namespace {

PatternStream streamOf(const BeaconPattern& pattern, std::int32_t amplitude) {
    Result<PatternStream> result = makePatternStream(pattern, amplitude);
    EXPECT_TRUE(result) << result.message();
    return result ? std::move(result).value() : PatternStream();
}

std::vector<std::int16_t> read(const PatternStream& stream, std::int64_t from, int count) {
    std::vector<std::int16_t> out(static_cast<std::size_t>(count), 99);
    stream.copySamples(from, out.data(), count);
    return out;
}

// The whole-pattern render, with the silence after N that reads past the end give.
std::vector<std::int16_t> wholeRender(const BeaconPattern& pattern, std::int32_t amplitude,
                                      int silenceAfter) {
    const Result<RenderedSound> result = renderPattern(pattern, amplitude);
    EXPECT_TRUE(result) << result.message();
    const RenderedSound sound = result.valueOr(RenderedSound());
    std::vector<std::int16_t> samples(static_cast<std::size_t>(sound.sampleCount() + silenceAfter));
    sound.copySamples(0, samples.data(), static_cast<int>(samples.size()));
    return samples;
}

TEST(PatternStream, BlocksFromAnyStartAreTheWholeRendersSamples) {
    // Random patterns read in blocks of random length from random positions, in order and out
    // of order, then straight through as playback reads.
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> length(1, 20000);
    for (const auto& c : kRandomPatternCases) {
        SCOPED_TRACE(std::to_string(c.dotLength) + " ms, centre " + std::to_string(c.centre));
        const BeaconPattern pattern = randomPattern(c, random);
        const std::vector<std::int16_t> whole = wholeRender(pattern, c.amplitude, 300);
        const auto size = static_cast<std::int64_t>(whole.size());
        const PatternStream stream = streamOf(pattern, c.amplitude);
        ASSERT_EQ(stream.sampleCount(), size - 300);
        std::uniform_int_distribution<std::int64_t> start(-300, size - 1);
        std::int64_t differing = 0;
        for (int reads = 0; reads < 200; ++reads) {
            const std::int64_t from = start(random);
            const int count = static_cast<int>(std::min<std::int64_t>(length(random), size - from));
            const std::vector<std::int16_t> out = read(stream, from, count);
            for (int i = 0; i < count; ++i) {
                const std::int64_t at = from + i;
                differing += out[static_cast<std::size_t>(i)] !=
                             (at < 0 ? 0 : whole[static_cast<std::size_t>(at)]);
            }
        }
        // A fresh copy read straight through in playback's blocks.
        const PatternStream fresh = streamOf(pattern, c.amplitude);
        std::vector<std::int16_t> block(128);
        for (std::int64_t from = 0; from + 128 <= size; from += 128) {
            fresh.copySamples(from, block.data(), 128);
            differing += !std::equal(block.begin(), block.end(),
                                     whole.begin() + static_cast<std::ptrdiff_t>(from));
        }
        EXPECT_EQ(differing, 0);
    }
}

TEST(PatternStream, WorkedFiguresAndReadsOutsideThePattern) {
    // 125 ms: K = 5512, N = 3313012 and the last 300 samples are silence.
    BeaconPattern pattern = silentPattern(125, 600);
    std::fill(pattern.toneIndex.begin(), pattern.toneIndex.end(), 8.0f);
    const PatternStream stream = streamOf(pattern, 10362);
    EXPECT_EQ(stream.sampleCount(), 3313012);
    const std::vector<std::int16_t> tail = read(stream, 3313012 - 302, 302);
    EXPECT_NE(tail[0] | tail[1], 0);
    EXPECT_TRUE(std::all_of(tail.begin() + 2, tail.end(), [](std::int16_t s) { return s == 0; }));
    // 100 ms: the fade-in covers samples 0..441, the last at the full peak of code 2 (5181).
    pattern = silentPattern(100, 100);
    pattern.toneIndex[0] = 8.0f;
    pattern.levelCode[0] = 2.0f;
    const std::vector<std::int16_t> fade = read(streamOf(pattern, 10362), 0, 4410);
    EXPECT_EQ(fade[0], 0);
    const auto peak = std::max_element(fade.begin() + 441, fade.begin() + 3969,
                                       [](auto a, auto b) { return std::abs(a) < std::abs(b); });
    EXPECT_NEAR(std::abs(*peak), 5181, 1);
    EXPECT_LT(*std::max_element(fade.begin(), fade.begin() + 100), 5181 * 100 / 441 + 2);

    constexpr std::int64_t far = std::numeric_limits<std::int64_t>::max();
    const PatternStream none;
    for (const std::int64_t from :
         std::initializer_list<std::int64_t>{-5, 3313012, 3313012 - 300, far, -far - 1}) {
        EXPECT_EQ(read(stream, from, 5), std::vector<std::int16_t>(5, 0)) << "from " << from;
    }
    EXPECT_EQ(read(none, 0, 5), std::vector<std::int16_t>(5, 0));
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(none.sampleCount(), 0);
}

TEST(PatternStream, DotsOfAnyLengthPlayWithoutRenderingWhatComesBefore) {
    // The longest dot the fields allow: 601 dots of 2^31 - 1 ms are 94.7 G samples each. The
    // silent dots before the last cost nothing to pass, so its start reads at once and sounds
    // as a lone first dot does. (A code far below 1 lifts the first samples of the fade-in.)
    constexpr std::int32_t longest = std::numeric_limits<std::int32_t>::max();
    BeaconPattern last = silentPattern(longest, 600);
    last.toneIndex[600] = 3.0f;
    last.levelCode[600] = 1e-4f;
    BeaconPattern lone = silentPattern(longest, 0);
    lone.toneIndex[0] = 3.0f;
    lone.levelCode[0] = 1e-4f;
    const PatternStream lastStream = streamOf(last, 32767);
    // N = 601 x 44100 x (2^31 - 1) / 1000 exactly, in 64 bits; K = floor(float(S)).
    EXPECT_EQ(lastStream.sampleCount(), 56917121328453LL);
    const auto k = static_cast<std::int64_t>(static_cast<float>(44100.0 * longest / 1000.0));
    const PatternStream loneStream = streamOf(lone, 32767);
    const std::vector<std::int16_t> start = read(loneStream, 1000, 3000);
    EXPECT_EQ(read(lastStream, 600 * k + 1000, 3000), start);
    EXPECT_GT(*std::max_element(start.begin(), start.end()), 0);
}

TEST(PatternStream, PrepareWalksTheGivenBudgetAndThenReadsAtOnce) {
    BeaconPattern pattern = silentPattern(1000, 10);
    std::fill(pattern.toneIndex.begin(), pattern.toneIndex.end(), 5.0f);
    const std::vector<std::int16_t> whole = wholeRender(pattern, 32767, 0);
    const PatternStream stream = streamOf(pattern, 32767);
    const std::int64_t target = 7 * 44100 + 123;
    int calls = 0;
    while (!stream.prepare(target, 100000)) {
        ++calls;
    }
    EXPECT_EQ(calls, static_cast<int>(target / 100000));
    EXPECT_TRUE(stream.prepare(target, 0)) << "reached: nothing left to walk";
    EXPECT_FALSE(stream.prepare(target + 2 * 44100, 1000)) << "the next dot is not known yet";
    EXPECT_TRUE(stream.prepare(-7, 0) && stream.prepare(stream.sampleCount(), 0));
    const std::vector<std::int16_t> out = read(stream, target, 500);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), whole.begin() + target));
}

TEST(PatternStream, RefusesOnlyParametersOutsideTheirLimitsAndCountsDownTheProgress) {
    const struct {
        std::int32_t dotLength, dotCount, repeatDots;
        const char* message;
    } refused[] = {
        {0, 10, 0,
         "The pattern cannot be rendered: the dot length is 0 ms (it must be at least 1 ms)."},
        {100, 601, 0,
         "The pattern cannot be rendered: the number of dots is 601 (it must be 0 to 600)."},
        {100, -1, 0,
         "The pattern cannot be rendered: the number of dots is -1 (it must be 0 to 600)."},
        {100, 10, -1,
         "The pattern cannot be rendered: the repeat is -1 dots (it must be at least 0)."},
    };
    for (const auto& c : refused) {
        BeaconPattern pattern = silentPattern(c.dotLength, c.dotCount);
        pattern.repeatDots = c.repeatDots;
        const Result<PatternStream> result = makePatternStream(pattern, 1);
        EXPECT_FALSE(result);
        EXPECT_EQ(result.message(), c.message);
    }
    const struct {
        std::int32_t dotCount;
        std::vector<int> blocks;
    } progress[] = {
        {100, {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}},
        {25, {10, 10, 10, 10, 8, 8, 6, 6, 4, 4, 2, 2, 0}}, // 12.5, 11.5, ... 0.5 to even
        {5, {5, 4, 3, 2, 1, 0}},                           // fewer than 10: every dot
        {0, {0}},
        {35, {10, 10, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}}, // ends at 2/3 of an interval
    };
    for (const auto& c : progress) {
        std::vector<int> seen;
        // 600 dots of 120 s (3.2 G samples): once refused, now as quick as any other.
        const Result<PatternStream> result =
            makePatternStream(silentPattern(120000, c.dotCount), 32767,
                              [&seen](int blocks) { seen.push_back(blocks); });
        EXPECT_TRUE(result);
        EXPECT_EQ(seen, c.blocks) << c.dotCount << " dots";
    }
}

} // namespace
} // namespace vesk
