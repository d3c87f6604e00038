// SPDX-License-Identifier: GPL-3.0-or-later
#include "preview/spectrogram.h"

#include "tone/pattern_stream.h"

#include <fftw3.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <numbers>
#include <thread>
#include <utility>
#include <vector>

namespace vesk::preview {

namespace {

constexpr int kMaxColumns = 2400;
constexpr int kMaxRows = 1024;
constexpr std::int64_t kMaxFftSize = std::int64_t{1} << 18;
constexpr std::int64_t kMaxWindow = std::int64_t{1} << 17;
// Columns are shared out among at most this many threads, each with at least 8.
constexpr unsigned kMaxWorkers = 4;
constexpr std::int64_t kLeastColumnsAWorker = 8;

struct FftwFree {
    void operator()(void* p) const { fftwf_free(p); }
};
struct PlanDestroy {
    void operator()(fftwf_plan_s* p) const { fftwf_destroy_plan(p); }
};

std::int64_t powerOfTwoAtLeast(double n) {
    std::int64_t size = 256;
    while (static_cast<double>(size) < n && size < kMaxFftSize) {
        size *= 2;
    }
    return size;
}

// Where the columns and rows lie in the sound and its spectrum.
struct Layout {
    std::int64_t window = 0;  // samples under the Hann window
    std::int64_t fftSize = 0; // the window zero-padded
    std::int64_t hop = 0;     // samples from one column to the next
    std::int64_t firstBin = 0, lastBin = 0, binsPerRow = 1;
    std::vector<float> hann;
    double fullScale = 0.0; // |X| of a full-scale sine at its bin
};

// Samples in single precision: 16-bit samples and levels in whole dB need no more.
struct Buffers {
    std::unique_ptr<float, FftwFree> input;
    std::unique_ptr<fftwf_complex, FftwFree> spectrum;
    explicit Buffers(std::int64_t fftSize)
        : input(fftwf_alloc_real(static_cast<std::size_t>(fftSize))),
          spectrum(fftwf_alloc_complex(static_cast<std::size_t>(fftSize / 2 + 1))) {}
};

// Levels of columns first..end-1 into `out` (rows values a column). Each worker has its own
// stream, which keeps a reading position, and its own buffers; one plan serves all, as FFTW
// runs a plan on other arrays of the same alignment from any thread.
void fillColumns(PatternStream stream, const Layout& l, fftwf_plan plan, std::int64_t rows,
                 std::int64_t first, std::int64_t end, std::vector<float>& out) {
    Buffers buffers(l.fftSize);
    float* input = buffers.input.get();
    std::vector<std::int16_t> samples(static_cast<std::size_t>(l.window));
    std::fill(input, input + l.fftSize, 0.0f);
    for (std::int64_t c = first; c < end; ++c) {
        stream.copySamples(c * l.hop - l.window / 2, samples.data(), static_cast<int>(l.window));
        for (std::size_t i = 0; i < l.hann.size(); ++i) {
            input[i] = samples[i] * l.hann[i];
        }
        fftwf_execute_dft_r2c(plan, input, buffers.spectrum.get());
        for (std::int64_t r = 0; r < rows; ++r) {
            float peak = 0.0f;
            for (std::int64_t b = l.firstBin + r * l.binsPerRow;
                 b < std::min(l.firstBin + (r + 1) * l.binsPerRow, l.lastBin + 1); ++b) {
                const fftwf_complex& x = buffers.spectrum.get()[b];
                peak = std::max(peak, std::hypot(x[0], x[1]));
            }
            const double db =
                peak > 0.0f ? 20.0 * std::log10(double{peak} / l.fullScale) : double{kFloorDb};
            out[static_cast<std::size_t>(c * rows + r)] =
                static_cast<float>(std::max(db, double{kFloorDb}));
        }
    }
}

// The Hann window of l.window samples, and the |X| a full-scale sine gives at its bin.
void shapeWindow(Layout& l) {
    l.hann.resize(static_cast<std::size_t>(l.window));
    double windowSum = 0.0;
    for (std::size_t i = 0; i < l.hann.size(); ++i) {
        const double w =
            0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * (static_cast<double>(i) + 0.5) /
                                 static_cast<double>(l.window));
        l.hann[i] = static_cast<float>(w);
        windowSum += w;
    }
    // A full-scale sine of amplitude 32767 gives |X| = 32767 x windowSum / 2 at its bin.
    l.fullScale = 32767.0 * windowSum / 2.0;
}

// The band of the tones in use, two row steps either side, within the sound's 0..rate/2.
std::pair<double, double> toneBand(const BeaconPattern& pattern, double step) {
    double low = HUGE_VAL;
    double high = -HUGE_VAL;
    for (int slot = 0; slot <= pattern.dotCount; ++slot) {
        if (pattern.toneIndex[static_cast<std::size_t>(slot)] != 0.0f) {
            const double hertz = toneFrequency(pattern, slot);
            low = std::min(low, hertz);
            high = std::max(high, hertz);
        }
    }
    if (!(low <= high)) {
        low = high = pattern.centreFrequency;
    }
    return {std::max(0.0, low - 2.0 * step), std::min(kSampleRate / 2.0, high + 2.0 * step)};
}

} // namespace

int Spectrogram::rowOf(double hertz) const {
    return static_cast<int>(std::lround((hertz - lowestHz) / hzPerRow));
}

int Spectrogram::columnOf(double seconds) const {
    return static_cast<int>(std::lround(seconds / secondsPerColumn));
}

Result<Spectrogram> makeSpectrogram(const BeaconPattern& pattern) {
    const Result<PatternStream> made = makePatternStream(pattern, 32767);
    if (!made) {
        return made.failure();
    }
    const double rate = kSampleRate;
    const double dotSeconds = pattern.dotLength / 1000.0;
    const double spacing = std::abs(static_cast<double>(pattern.frequencySpacing));
    const double step = std::isfinite(spacing) && spacing > 0.0 ? spacing : 10.0;
    const auto [low, high] = toneBand(pattern, step);
    if (!(low < high)) {
        return fail("the pattern's tones lie outside the sound's 0 to 22050 Hz");
    }

    // A window as long as a dot: as fine in frequency as the dots allow while they stay apart
    // in time (a slow-CW grabber's seconds-long FFT), up to about 3 s; zero-padded to two bins
    // per resolution step and at least four per row step.
    Layout l;
    l.window = static_cast<std::int64_t>(
        std::clamp(dotSeconds * rate, 32.0, static_cast<double>(kMaxWindow)));
    l.fftSize = powerOfTwoAtLeast(std::max(2.0 * static_cast<double>(l.window), 4.0 * rate / step));
    const double binHz = rate / static_cast<double>(l.fftSize);
    const std::int64_t total = made->sampleCount();
    // Four columns a dot, one of them on each dot's middle when a dot's samples divide by four.
    l.hop = std::max<std::int64_t>(1, std::llround(dotSeconds * rate / 4.0));
    l.hop = std::max(l.hop, (total + kMaxColumns - 1) / kMaxColumns);
    const std::int64_t columns = std::max<std::int64_t>(1, total / l.hop + 1);
    l.firstBin = static_cast<std::int64_t>(std::floor(low / binHz));
    l.lastBin = std::min(static_cast<std::int64_t>(std::ceil(high / binHz)), l.fftSize / 2);
    l.binsPerRow = (l.lastBin - l.firstBin + kMaxRows) / kMaxRows;
    const std::int64_t rows = (l.lastBin - l.firstBin + l.binsPerRow) / l.binsPerRow;

    Spectrogram out;
    out.columns = static_cast<int>(columns);
    out.rows = static_cast<int>(rows);
    out.secondsPerColumn = static_cast<double>(l.hop) / rate;
    out.hzPerRow = binHz * static_cast<double>(l.binsPerRow);
    // A combined row stands for the middle of its bins.
    out.lowestHz =
        (static_cast<double>(l.firstBin) + static_cast<double>(l.binsPerRow - 1) / 2.0) * binHz;
    out.levels.assign(static_cast<std::size_t>(columns * rows), kFloorDb);

    shapeWindow(l);
    Buffers planned(l.fftSize);
    const std::unique_ptr<fftwf_plan_s, PlanDestroy> plan(fftwf_plan_dft_r2c_1d(
        static_cast<int>(l.fftSize), planned.input.get(), planned.spectrum.get(), FFTW_ESTIMATE));
    const auto workers = static_cast<std::int64_t>(std::clamp<std::int64_t>(
        std::min<std::int64_t>(std::thread::hardware_concurrency(), columns / kLeastColumnsAWorker),
        1, kMaxWorkers));
    std::vector<std::jthread> threads;
    for (std::int64_t w = 1; w < workers; ++w) {
        threads.emplace_back(fillColumns, *made, std::cref(l), plan.get(), rows,
                             columns * w / workers, columns * (w + 1) / workers,
                             std::ref(out.levels));
    }
    fillColumns(*made, l, plan.get(), rows, 0, columns / workers, out.levels);
    threads.clear(); // joined before `out` moves into the result
    return out;
}

std::uint32_t levelColour(float db, float bottomDb, float topDb) {
    // The stops of the scale, from the quiet end: a grabber's blue background, signals
    // rising through cyan and yellow to white.
    static constexpr std::array<std::array<double, 3>, 5> kStops{
        {{0, 0, 64}, {0, 64, 255}, {0, 255, 255}, {255, 255, 0}, {255, 255, 255}}};
    const double span = std::max(1e-6, double{topDb} - double{bottomDb});
    const double x = std::clamp((static_cast<double>(db) - double{bottomDb}) / span, 0.0, 1.0) *
                     static_cast<double>(kStops.size() - 1);
    const auto i = std::min(static_cast<std::size_t>(x), kStops.size() - 2);
    const double f = x - static_cast<double>(i);
    std::uint32_t rgb = 0;
    for (std::size_t k = 0; k < 3; ++k) {
        const double v = kStops[i][k] + (kStops[i + 1][k] - kStops[i][k]) * f;
        rgb = (rgb << 8) | static_cast<std::uint32_t>(std::lround(v));
    }
    return rgb;
}

} // namespace vesk::preview
