// SPDX-License-Identifier: GPL-3.0-or-later
// The streaming render beside the whole-pattern render it replaced: throughput read the way
// playback (blocks of 128) and the WAV export (blocks of 256 Ki) read it, the walk to a far
// position, the heap a stream of a day-long pattern holds, and how many samples differ from
// the whole render when read in random blocks from random start positions.
//
// Targets: streaming at least as fast per sample as the whole render (about 2 ns a sample on
// the reference machine); memory that does not grow with the dot length; 0 differing samples.

#include "bench/busy_pattern.h"
#include "bench/heap_count.h"
#include "tone/pattern_stream.h"
#include "tone/render.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <random>
#include <vector>

namespace vesk {
namespace {

constexpr std::int32_t kAmplitude = 32767;

void perSample(benchmark::State& state, std::int64_t samples) {
    state.counters["samples"] = static_cast<double>(samples);
    // Seconds of CPU per sample ("1.9n" is 1.9 ns).
    state.counters["per_sample"] =
        benchmark::Counter(static_cast<double>(samples) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void wholeRender(benchmark::State& state) {
    const BeaconPattern pattern = busyPattern(static_cast<std::int32_t>(state.range(0)));
    std::int64_t samples = 0;
    for (auto _ : state) {
        const RenderedSound sound = renderPattern(pattern, kAmplitude).value();
        samples = sound.sampleCount();
        benchmark::DoNotOptimize(sound.waveImage().data());
    }
    perSample(state, samples);
}

// range(0): dot length in ms; range(1): samples per read.
void streamStraightThrough(benchmark::State& state) {
    const BeaconPattern pattern = busyPattern(static_cast<std::int32_t>(state.range(0)));
    const auto block = static_cast<int>(state.range(1));
    std::vector<std::int16_t> out(static_cast<std::size_t>(block));
    std::int64_t samples = 0;
    for (auto _ : state) {
        const PatternStream stream = makePatternStream(pattern, kAmplitude).value();
        samples = stream.sampleCount();
        for (std::int64_t from = 0; from < samples; from += block) {
            stream.copySamples(from, out.data(), block);
            benchmark::DoNotOptimize(out.data());
        }
    }
    perSample(state, samples);
}

// The phase walk that a read far into a dot never reached costs: a 128-sample read at the
// start of the last dot of 600 dots of 10 s (265 M samples in).
void streamFarRead(benchmark::State& state) {
    const BeaconPattern pattern = busyPattern(10000);
    std::vector<std::int16_t> out(128);
    std::int64_t from = 0;
    for (auto _ : state) {
        const PatternStream stream = makePatternStream(pattern, kAmplitude).value();
        from = stream.sampleCount() / 601 * 600;
        stream.copySamples(from, out.data(), 128);
        benchmark::DoNotOptimize(out.data());
    }
    perSample(state, from);
}

// The heap held by the stream of 600 dots of 120 s (3.2 G samples) after an hour of it has
// been read in playback's blocks: the same as for 100 ms dots.
void streamMemory(benchmark::State& state) {
    const BeaconPattern pattern = busyPattern(static_cast<std::int32_t>(state.range(0)));
    std::vector<std::int16_t> out(128);
    std::int64_t held = 0;
    for (auto _ : state) {
        const std::int64_t before = heapBytes.load();
        const PatternStream stream = makePatternStream(pattern, kAmplitude).value();
        const std::int64_t hour = std::min<std::int64_t>(3600 * kSampleRate, stream.sampleCount());
        for (std::int64_t from = 0; from < hour; from += 128) {
            stream.copySamples(from, out.data(), 128);
        }
        held = heapBytes.load() - before;
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["heap_bytes"] = static_cast<double>(held);
}

// Random patterns as files may hold them and the worked figures (100 ms and 125 ms dots), read
// in random blocks from random positions (and straight through in playback's blocks) and
// compared with the whole render.
void streamAgainstWhole(benchmark::State& state) {
    const float usual[] = {1.0f, 2.0f, 4.0f, 8.0f, 16.0f, 0.0f};
    const float odd[] = {0.5f, 3.0f, -2.0f, 1e-40f, std::nanf(""), 0.75f};
    std::int64_t compared = 0, differing = 0;
    for (auto _ : state) {
        std::mt19937 random(7);
        std::uniform_int_distribution<int> row(-4, 16), pick(0, 5), length(1, 50000);
        std::uniform_int_distribution<int> dotLength(1, 1500), dotCount(0, 600);
        compared = differing = 0;
        for (int p = 0; p < 42; ++p) {
            BeaconPattern pattern = startPattern();
            if (p == 0 || p == 1) {
                // The worked figures: 601 dots of 100 ms; 601 dots of 125 ms (300 trailing zeros).
                pattern = busyPattern(p == 0 ? 100 : 125);
            } else {
                pattern.dotLength = dotLength(random);
                pattern.dotCount = dotCount(random);
                pattern.centreFrequency =
                    p % 10 == 0 ? 21000.0f : 400.0f + 50.0f * static_cast<float>(pick(random));
                pattern.frequencySpacing = p % 7 == 0 ? -900.0f : 10.0f;
                for (std::size_t d = 0; d < pattern.toneIndex.size(); ++d) {
                    pattern.toneIndex[d] = static_cast<float>(std::max(row(random), 0));
                    pattern.levelCode[d] =
                        p % 3 == 0 && pick(random) == 0 ? odd[pick(random)] : usual[pick(random)];
                }
            }
            const RenderedSound whole = renderPattern(pattern, kAmplitude).value();
            const PatternStream stream = makePatternStream(pattern, kAmplitude).value();
            const std::int64_t n = whole.sampleCount();
            differing += stream.sampleCount() != n;
            std::uniform_int_distribution<std::int64_t> start(0, n - 1);
            std::vector<std::int16_t> out;
            for (int read = 0; read < 100; ++read) {
                const std::int64_t from = start(random);
                const int count =
                    static_cast<int>(std::min<std::int64_t>(length(random), n - from));
                out.resize(static_cast<std::size_t>(count));
                stream.copySamples(from, out.data(), count);
                for (int i = 0; i < count; ++i) {
                    differing += out[static_cast<std::size_t>(i)] != whole.sample(from + i);
                }
                compared += count;
            }
            const PatternStream fresh = makePatternStream(pattern, kAmplitude).value();
            out.resize(128);
            for (std::int64_t from = 0; from < n; from += 128) {
                fresh.copySamples(from, out.data(), 128);
                for (std::int64_t i = 0; i < 128; ++i) {
                    differing += out[static_cast<std::size_t>(i)] != whole.sample(from + i);
                }
                compared += 128;
            }
        }
    }
    state.counters["samples_compared"] = static_cast<double>(compared);
    state.counters["differing"] = static_cast<double>(differing);
}

BENCHMARK(wholeRender)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(streamStraightThrough)
    ->Args({100, 128})
    ->Args({100, 1 << 18})
    ->Args({1000, 128})
    ->Args({1000, 1 << 18})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(streamFarRead)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(streamMemory)->Arg(100)->Arg(120000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(streamAgainstWhole)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
} // namespace vesk

BENCHMARK_MAIN();
