// SPDX-License-Identifier: GPL-3.0-or-later
// The render of 601 tone dots at 100 ms and 1 s: the fast render against the plain per-sample
// rule, the heap bytes one render allocates, and how many samples the two disagree on.
//
// Targets on the reference machine: 100 ms dots (N = 2 650 410) in 10 ms or less, 1 s dots in
// 100 ms or less; at most 2 + 44 / N heap bytes per sample; at most one differing sample in a
// million, by 1.

#include "bench/busy_pattern.h"
#include "bench/heap_count.h"
#include "tone/render.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

namespace vesk {
namespace {

constexpr std::int32_t kAmplitude = 32767;

void renderFast(benchmark::State& state) {
    const BeaconPattern pattern = busyPattern(static_cast<std::int32_t>(state.range(0)));
    std::int64_t bytes = 0;
    std::int64_t samples = 0;
    for (auto _ : state) {
        const std::int64_t before = heapBytes.load();
        Result<RenderedSound> result = renderPattern(pattern, kAmplitude);
        bytes = heapBytes.load() - before;
        if (!result) {
            state.SkipWithError(result.message().c_str());
            break;
        }
        samples = result->sampleCount();
        benchmark::DoNotOptimize(result->waveImage().data());
    }
    state.counters["samples"] = static_cast<double>(samples);
    state.counters["heap_bytes"] = static_cast<double>(bytes);
    state.counters["heap_bytes_per_sample"] =
        static_cast<double>(bytes) / static_cast<double>(samples);
    state.counters["per_sample_budget"] = 2.0 + 44.0 / static_cast<double>(samples);
}

void renderReference(benchmark::State& state) {
    const BeaconPattern pattern = busyPattern(static_cast<std::int32_t>(state.range(0)));
    for (auto _ : state) {
        std::vector<std::int16_t> samples = renderPatternReference(pattern, kAmplitude);
        benchmark::DoNotOptimize(samples.data());
    }
}

void fastAgainstReference(benchmark::State& state) {
    const BeaconPattern pattern = busyPattern(static_cast<std::int32_t>(state.range(0)));
    std::int64_t mismatches = 0;
    int largest = 0;
    std::int64_t count = 0;
    for (auto _ : state) {
        const RenderedSound fast = renderPattern(pattern, kAmplitude).value();
        const std::vector<std::int16_t> reference = renderPatternReference(pattern, kAmplitude);
        count = static_cast<std::int64_t>(reference.size());
        mismatches = 0;
        largest = 0;
        for (std::int64_t i = 0; i < count; ++i) {
            const int difference =
                std::abs(fast.sample(i) - reference[static_cast<std::size_t>(i)]);
            if (difference != 0) {
                ++mismatches;
                largest = std::max(largest, difference);
            }
        }
    }
    state.counters["samples"] = static_cast<double>(count);
    state.counters["mismatches"] = static_cast<double>(mismatches);
    state.counters["largest_difference"] = static_cast<double>(largest);
    state.counters["mismatches_per_million"] =
        1.0e6 * static_cast<double>(mismatches) / static_cast<double>(count);
}

BENCHMARK(renderFast)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(renderReference)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(fastAgainstReference)
    ->Arg(100)
    ->Arg(125)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace
} // namespace vesk

BENCHMARK_MAIN();
