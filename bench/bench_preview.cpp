// SPDX-License-Identifier: GPL-3.0-or-later
// View > Preview: the spectrogram and its picture, as the dialog makes them before it shows,
// for a QRSS3 Morse message (3 s dots: the longest windows), the busy 600-dot pattern at
// 100 ms, a WSPR message, and the busy pattern at 3 s (30 minutes of sound).
//
// Target on the reference machine: each but the last in 0.2 s or less, the last in 1 s, so
// that the dialog opens at once. Measured on a 2-core machine (load about 1), wall time: a
// full FFT of the whole band at 44.1 kHz in double precision, one thread: 535, 167, 307 and
// 4764 ms; the band alone, sampled down, single precision, both cores: 182, 22, 28 and 725 ms.

#include "beacon/generator.h"
#include "bench/busy_pattern.h"
#include "preview/spectrogram.h"

#include <benchmark/benchmark.h>

namespace vesk {
namespace {

BeaconPattern previewed(int which) {
    switch (which) {
    case 0: {
        beacon::MorseSettings qrss3;
        qrss3.text = "VVV DE VESK";
        qrss3.dotLength = 3000;
        return beacon::makeMorsePattern(qrss3).value();
    }
    case 1:
        return busyPattern(100);
    case 3:
        return busyPattern(3000);
    default:
        return beacon::makeWsprPattern({"K1ABC", "FN42", 37, 1500.0f}).value();
    }
}

void preview(benchmark::State& state) {
    const BeaconPattern pattern = previewed(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const Result<preview::Spectrogram> made = preview::makeSpectrogram(pattern);
        if (!made) {
            state.SkipWithError(made.message().c_str());
            break;
        }
        const preview::Picture picture = preview::drawSpectrogram(*made, pattern);
        benchmark::DoNotOptimize(picture.pixels.data());
    }
}

// Wall time, and the CPU time of every thread.
BENCHMARK(preview)
    ->ArgName("qrss3_busy_wspr")
    ->DenseRange(0, 3)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

} // namespace
} // namespace vesk

BENCHMARK_MAIN();
