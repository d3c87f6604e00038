// SPDX-License-Identifier: GPL-3.0-or-later
#include "preview/spectrogram.h"

#include "tone/pattern_stream.h"

#include <fftw3.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <numbers>

namespace vesk::preview {

namespace {

constexpr int kMaxColumns = 2400;
constexpr int kMaxRows = 1024;
constexpr std::int64_t kMaxFftSize = std::int64_t{1} << 18;
constexpr std::int64_t kMaxWindow = std::int64_t{1} << 17;

struct FftwFree {
    void operator()(void* p) const { fftw_free(p); }
};
struct PlanDestroy {
    void operator()(fftw_plan_s* p) const { fftw_destroy_plan(p); }
};

std::int64_t powerOfTwoAtLeast(double n) {
    std::int64_t size = 256;
    while (static_cast<double>(size) < n && size < kMaxFftSize) {
        size *= 2;
    }
    return size;
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
    const PatternStream& stream = *made;
    const double rate = kSampleRate;
    const double dotSeconds = pattern.dotLength / 1000.0;
    const double spacing = std::abs(static_cast<double>(pattern.frequencySpacing));
    const double step = std::isfinite(spacing) && spacing > 0.0 ? spacing : 10.0;

    // The band of the tones in use, two row steps either side.
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
    low = std::max(0.0, low - 2.0 * step);
    high = std::min(rate / 2.0, high + 2.0 * step);
    if (!(low < high)) {
        return fail("the pattern's tones lie outside the sound's 0 to 22050 Hz");
    }

    // A window as long as a dot: as fine in frequency as the dots allow while they stay apart
    // in time (a slow-CW grabber's seconds-long FFT), up to about 3 s; zero-padded to two bins
    // per resolution step and at least four per row step.
    const auto window = static_cast<std::int64_t>(
        std::clamp(dotSeconds * rate, 32.0, static_cast<double>(kMaxWindow)));
    const std::int64_t fftSize =
        powerOfTwoAtLeast(std::max(2.0 * static_cast<double>(window), 4.0 * rate / step));
    const double binHz = rate / static_cast<double>(fftSize);
    const std::int64_t total = stream.sampleCount();
    // Four columns a dot, one of them on each dot's middle when a dot's samples divide by four.
    std::int64_t hop = std::max<std::int64_t>(1, std::llround(dotSeconds * rate / 4.0));
    hop = std::max(hop, (total + kMaxColumns - 1) / kMaxColumns);
    const std::int64_t columns = std::max<std::int64_t>(1, total / hop + 1);

    const auto firstBin = static_cast<std::int64_t>(std::floor(low / binHz));
    const auto lastBin = std::min(static_cast<std::int64_t>(std::ceil(high / binHz)), fftSize / 2);
    const std::int64_t binsPerRow = (lastBin - firstBin + kMaxRows) / kMaxRows;
    const std::int64_t rows = (lastBin - firstBin + binsPerRow) / binsPerRow;

    Spectrogram out;
    out.columns = static_cast<int>(columns);
    out.rows = static_cast<int>(rows);
    out.secondsPerColumn = static_cast<double>(hop) / rate;
    out.hzPerRow = binHz * static_cast<double>(binsPerRow);
    // A combined row stands for the middle of its bins.
    out.lowestHz =
        (static_cast<double>(firstBin) + static_cast<double>(binsPerRow - 1) / 2.0) * binHz;
    out.levels.assign(static_cast<std::size_t>(columns * rows), kFloorDb);

    const auto n = static_cast<std::size_t>(fftSize);
    std::unique_ptr<double, FftwFree> input(fftw_alloc_real(n));
    std::unique_ptr<fftw_complex, FftwFree> spectrum(fftw_alloc_complex(n / 2 + 1));
    std::unique_ptr<fftw_plan_s, PlanDestroy> plan(fftw_plan_dft_r2c_1d(
        static_cast<int>(fftSize), input.get(), spectrum.get(), FFTW_ESTIMATE));
    std::vector<double> hann(static_cast<std::size_t>(window));
    double windowSum = 0.0;
    for (std::size_t i = 0; i < hann.size(); ++i) {
        hann[i] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * (static_cast<double>(i) + 0.5) /
                                       static_cast<double>(window));
        windowSum += hann[i];
    }
    // A full-scale sine of amplitude 32767 gives |X| = 32767 x windowSum / 2 at its bin.
    const double fullScale = 32767.0 * windowSum / 2.0;
    std::vector<std::int16_t> samples(static_cast<std::size_t>(window));
    for (std::int64_t c = 0; c < columns; ++c) {
        const std::int64_t centre = c * hop;
        stream.copySamples(centre - window / 2, samples.data(), static_cast<int>(window));
        std::fill(input.get(), input.get() + n, 0.0);
        for (std::size_t i = 0; i < hann.size(); ++i) {
            input.get()[i] = samples[i] * hann[i];
        }
        fftw_execute(plan.get());
        for (std::int64_t r = 0; r < rows; ++r) {
            double peak = 0.0;
            for (std::int64_t b = firstBin + r * binsPerRow;
                 b < std::min(firstBin + (r + 1) * binsPerRow, lastBin + 1); ++b) {
                const fftw_complex& x = spectrum.get()[b];
                peak = std::max(peak, std::hypot(x[0], x[1]));
            }
            const double db = peak > 0.0 ? 20.0 * std::log10(peak / fullScale) : double{kFloorDb};
            out.levels[static_cast<std::size_t>(c * rows + r)] =
                static_cast<float>(std::max(db, double{kFloorDb}));
        }
    }
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
