// SPDX-License-Identifier: GPL-3.0-or-later
// Reading and writing a full pattern file (601 slots): each must stay well under 1 ms.
#include "files/atomic_write.h"
#include "files/pattern_file.h"
#include "files/script.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

vesk::BeaconPattern paintedPattern() {
    vesk::BeaconPattern pattern = vesk::startPattern();
    const float levels[] = {1.0f, 2.0f, 4.0f, 8.0f, 16.0f};
    for (std::size_t slot = 0; slot < pattern.toneIndex.size(); ++slot) {
        pattern.toneIndex[slot] = static_cast<float>((slot * 7) % 17);
        pattern.levelCode[slot] = levels[(slot / 3) % 5];
    }
    pattern.dotLength = 120;
    pattern.frequencySpacing = 12.5f;
    pattern.centreFrequency = 1500.25f;
    pattern.repeatDots = 900;
    return pattern;
}

void patternText(benchmark::State& state) {
    const vesk::BeaconPattern pattern = paintedPattern();
    for (auto _ : state) {
        benchmark::DoNotOptimize(vesk::patternFileText(pattern));
    }
}
BENCHMARK(patternText)->Unit(benchmark::kMicrosecond);

// Reals with fractions take the slower exact-expansion path of the number text.
void patternTextFractions(benchmark::State& state) {
    vesk::BeaconPattern pattern = paintedPattern();
    for (std::size_t slot = 0; slot < pattern.toneIndex.size(); ++slot) {
        pattern.toneIndex[slot] = static_cast<float>(slot) * 0.37f;
        pattern.levelCode[slot] = 1.0f / static_cast<float>(slot % 64 + 1);
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(vesk::patternFileText(pattern));
    }
}
BENCHMARK(patternTextFractions)->Unit(benchmark::kMicrosecond);

void readPattern(benchmark::State& state) {
    const std::string text = vesk::patternFileText(paintedPattern());
    for (auto _ : state) {
        benchmark::DoNotOptimize(vesk::readPatternText(text));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
}
BENCHMARK(readPattern)->Unit(benchmark::kMicrosecond);

// From the file system, as the load command does it (the file stays in the page cache).
void loadPatternFromFile(benchmark::State& state) {
    char path[] = "/tmp/vesk-bench-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) {
        state.SkipWithError("no temporary file");
        return;
    }
    close(fd);
    if (const vesk::Result<> saved = vesk::savePatternFile(path, paintedPattern()); !saved) {
        state.SkipWithError(saved.message().c_str());
        std::remove(path);
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(vesk::loadPatternFile(path));
    }
    std::remove(path);
}
BENCHMARK(loadPatternFromFile)->Unit(benchmark::kMicrosecond);

// To the file system, as the save command does it: temporary file, flush to the disk, rename.
void savePatternToFile(benchmark::State& state) {
    const std::string path = "/tmp/vesk-bench-save-" + std::to_string(getpid()) + ".txt";
    const vesk::BeaconPattern pattern = paintedPattern();
    for (auto _ : state) {
        if (const vesk::Result<> saved = vesk::savePatternFile(path, pattern); !saved) {
            state.SkipWithError(saved.message().c_str());
            break;
        }
    }
    std::remove(path.c_str());
}
BENCHMARK(savePatternToFile)->Unit(benchmark::kMicrosecond);

void script(benchmark::State& state) {
    const vesk::BeaconPattern pattern = paintedPattern();
    for (auto _ : state) {
        benchmark::DoNotOptimize(vesk::scriptText(pattern));
    }
}
BENCHMARK(script)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
