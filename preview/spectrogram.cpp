// SPDX-License-Identifier: GPL-3.0-or-later
#include "preview/spectrogram.h"

#include "tone/pattern_stream.h"

#include <fftw3.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
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
// The band is moved to 0 Hz and the sound sampled down to at least 4 times the band's width,
// so that the low-pass filter before it is flat over the band and shuts out everything that
// would fold into it; a window keeps at least 32 samples.
constexpr double kRateOverBand = 4.0;
constexpr std::int64_t kLeastWindow = 32;
// The filter: a Blackman-windowed sinc 8 output samples long (74 dB down beyond 0.84 of the
// new rate, flat within 0.01 dB up to 0.16 of it).
constexpr std::int64_t kFilterSteps = 8;
// The columns are shared out among at most this many threads, and each thread takes them in
// batches, sampling down the sound under a batch at a time.
constexpr std::int64_t kMaxWorkers = 4;
constexpr std::int64_t kBatch = 64;

using Complex = std::complex<float>;

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

// a / b rounded down, for b > 0.
std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// Where the columns and rows lie in the sound and its spectrum. At 44.1 kHz a column is a Hann
// window of `window` samples zero-padded to `fftSize`, its bins `binHz` apart; the same is
// computed from the sound moved down by `centreBin` and sampled every `step` samples.
struct Layout {
    std::int64_t window = 0, fftSize = 0, hop = 0, columns = 0;
    std::int64_t firstBin = 0, lastBin = 0, binsPerRow = 1, rows = 0;
    std::int64_t centreBin = 0;
    std::int64_t step = 1;     // input samples a decimated sample (a power of two)
    std::vector<float> filter; // the low-pass filter's taps, summing to 1
    std::vector<float> hann;   // the window at the decimated rate
    double fullScale = 0.0;    // |X| of a full-scale sine at its bin

    std::int64_t decimatedWindow() const { return window / step; }
    std::int64_t decimatedFft() const { return fftSize / step; }
    // The first decimated sample under column c's window.
    std::int64_t windowStart(std::int64_t c) const { return floorDiv(c * hop - window / 2, step); }
};

// The decimation step, the filter, the window and the full-scale level of a layout whose
// bins are set.
void chooseStep(Layout& l, double binHz) {
    const double bandHz = static_cast<double>(l.lastBin - l.firstBin + 1) * binHz;
    l.centreBin = (l.firstBin + l.lastBin) / 2;
    while (kSampleRate / static_cast<double>(2 * l.step) >= kRateOverBand * bandHz &&
           l.window / (2 * l.step) >= kLeastWindow) {
        l.step *= 2;
    }
    const std::int64_t taps = l.step == 1 ? 1 : kFilterSteps * l.step + 1;
    l.filter.resize(static_cast<std::size_t>(taps));
    double sum = 0.0;
    for (std::int64_t i = 0; i < taps; ++i) {
        const double t = static_cast<double>(i - taps / 2) / static_cast<double>(l.step);
        const double sinc =
            t == 0.0 ? 1.0 : std::sin(std::numbers::pi * t) / (std::numbers::pi * t);
        const double x =
            static_cast<double>(i) / static_cast<double>(std::max<std::int64_t>(1, taps - 1));
        const double blackman = taps == 1 ? 1.0
                                          : 0.42 - 0.5 * std::cos(2.0 * std::numbers::pi * x) +
                                                0.08 * std::cos(4.0 * std::numbers::pi * x);
        l.filter[static_cast<std::size_t>(i)] = static_cast<float>(sinc * blackman);
        sum += sinc * blackman;
    }
    for (float& tap : l.filter) {
        tap = static_cast<float>(double{tap} / sum);
    }
    const std::int64_t window = l.decimatedWindow();
    l.hann.resize(static_cast<std::size_t>(window));
    double windowSum = 0.0;
    for (std::size_t i = 0; i < l.hann.size(); ++i) {
        const double w =
            0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * (static_cast<double>(i) + 0.5) /
                                 static_cast<double>(window));
        l.hann[i] = static_cast<float>(w);
        windowSum += w;
    }
    // A full-scale sine of amplitude 32767 moved down leaves 32767 / 2 at the band's middle:
    // |X| = 32767 x windowSum / 2 at its bin.
    l.fullScale = 32767.0 * windowSum / 2.0;
}

// Decimated samples from..from+count-1 into `out`: the sound turned down by the band's middle,
// filtered and taken every l.step samples.
void decimate(const PatternStream& stream, const Layout& l, const std::vector<Complex>& turn,
              std::int64_t from, std::int64_t count, std::vector<Complex>& out) {
    const auto taps = static_cast<std::int64_t>(l.filter.size());
    const auto turns = static_cast<std::int64_t>(turn.size());
    const std::int64_t first = from * l.step - taps / 2;
    std::vector<std::int16_t> sound(static_cast<std::size_t>((count - 1) * l.step + taps));
    stream.copySamples(first, sound.data(), static_cast<int>(sound.size()));
    std::vector<float> re(sound.size()), im(sound.size());
    std::int64_t phase = ((l.centreBin * first) % turns + turns) % turns;
    for (std::size_t n = 0; n < sound.size(); ++n) {
        const Complex mixed = static_cast<float>(sound[n]) * turn[static_cast<std::size_t>(phase)];
        re[n] = mixed.real();
        im[n] = mixed.imag();
        phase += l.centreBin;
        phase -= phase >= turns ? turns : 0;
    }
    out.resize(static_cast<std::size_t>(count));
    for (std::int64_t m = 0; m < count; ++m) {
        const auto at = static_cast<std::size_t>(m * l.step);
        float sumRe = 0.0f, sumIm = 0.0f;
        for (std::size_t i = 0; i < l.filter.size(); ++i) {
            sumRe += l.filter[i] * re[at + i];
            sumIm += l.filter[i] * im[at + i];
        }
        out[static_cast<std::size_t>(m)] = {sumRe, sumIm};
    }
}

// The levels of column c, whose window starts at `samples`, into `out`.
void fillColumn(const Layout& l, const Complex* samples, fftwf_plan plan, fftwf_complex* input,
                fftwf_complex* spectrum, std::int64_t c, std::vector<float>& out) {
    const std::int64_t size = l.decimatedFft();
    for (std::size_t i = 0; i < l.hann.size(); ++i) {
        const Complex x = samples[i] * l.hann[i];
        input[i][0] = x.real();
        input[i][1] = x.imag();
    }
    fftwf_execute_dft(plan, input, spectrum);
    for (std::int64_t r = 0; r < l.rows; ++r) {
        float peak = 0.0f;
        for (std::int64_t b = l.firstBin + r * l.binsPerRow;
             b < std::min(l.firstBin + (r + 1) * l.binsPerRow, l.lastBin + 1); ++b) {
            const fftwf_complex& x = spectrum[(b - l.centreBin + size) % size];
            peak = std::max(peak, std::hypot(x[0], x[1]));
        }
        const double db =
            peak > 0.0f ? 20.0 * std::log10(double{peak} / l.fullScale) : double{kFloorDb};
        out[static_cast<std::size_t>(c * l.rows + r)] =
            static_cast<float>(std::max(db, double{kFloorDb}));
    }
}

// Levels of columns first..end-1 into `out` (rows values a column), a batch at a time. Each
// worker has its own stream, which keeps a reading position; one plan serves every worker, as
// FFTW runs a plan on other arrays of the same alignment from any thread.
void fillColumns(PatternStream stream, const Layout& l, const std::vector<Complex>& turn,
                 fftwf_plan plan, std::int64_t first, std::int64_t end, std::vector<float>& out) {
    const auto size = static_cast<std::size_t>(l.decimatedFft());
    const std::unique_ptr<fftwf_complex, FftwFree> input(fftwf_alloc_complex(size));
    const std::unique_ptr<fftwf_complex, FftwFree> spectrum(fftwf_alloc_complex(size));
    std::fill_n(&input.get()[0][0], 2 * size, 0.0f);
    std::vector<Complex> samples;
    // At most about a million samples a batch.
    const std::int64_t columns =
        std::clamp<std::int64_t>((std::int64_t{1} << 20) * l.step / l.hop, 1, kBatch);
    for (std::int64_t batch = first; batch < end; batch += columns) {
        const std::int64_t last = std::min(batch + columns, end) - 1;
        const std::int64_t from = l.windowStart(batch);
        decimate(stream, l, turn, from, l.windowStart(last) + l.decimatedWindow() - from, samples);
        for (std::int64_t c = batch; c <= last; ++c) {
            fillColumn(l, samples.data() + (l.windowStart(c) - from), plan, input.get(),
                       spectrum.get(), c, out);
        }
    }
}

// Runs work(first, end) over 0..count-1 shared out among the workers.
template <class Work> void shareOut(std::int64_t count, std::int64_t least, Work work) {
    const std::int64_t workers = std::clamp<std::int64_t>(
        std::min<std::int64_t>(std::thread::hardware_concurrency(), count / least), 1, kMaxWorkers);
    std::vector<std::jthread> threads;
    for (std::int64_t w = 1; w < workers; ++w) {
        threads.emplace_back(work, count * w / workers, count * (w + 1) / workers);
    }
    work(0, count / workers);
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
    l.columns = std::max<std::int64_t>(1, total / l.hop + 1);
    l.firstBin = static_cast<std::int64_t>(std::floor(low / binHz));
    l.lastBin = std::min(static_cast<std::int64_t>(std::ceil(high / binHz)), l.fftSize / 2);
    l.binsPerRow = (l.lastBin - l.firstBin + kMaxRows) / kMaxRows;
    l.rows = (l.lastBin - l.firstBin + l.binsPerRow) / l.binsPerRow;
    chooseStep(l, binHz);

    Spectrogram out;
    out.columns = static_cast<int>(l.columns);
    out.rows = static_cast<int>(l.rows);
    out.secondsPerColumn = static_cast<double>(l.hop) / rate;
    out.hzPerRow = binHz * static_cast<double>(l.binsPerRow);
    // A combined row stands for the middle of its bins.
    out.lowestHz =
        (static_cast<double>(l.firstBin) + static_cast<double>(l.binsPerRow - 1) / 2.0) * binHz;
    out.levels.assign(static_cast<std::size_t>(l.columns * l.rows), kFloorDb);

    // e^(-2 pi i k / fftSize): the turns that move the band's middle to 0 Hz, sample by sample.
    std::vector<Complex> turn(static_cast<std::size_t>(l.fftSize));
    for (std::size_t k = 0; k < turn.size(); ++k) {
        turn[k] =
            std::polar(1.0f, static_cast<float>(-2.0 * std::numbers::pi * static_cast<double>(k) /
                                                static_cast<double>(l.fftSize)));
    }
    const auto size = static_cast<std::size_t>(l.decimatedFft());
    const std::unique_ptr<fftwf_complex, FftwFree> in(fftwf_alloc_complex(size));
    const std::unique_ptr<fftwf_complex, FftwFree> spectrum(fftwf_alloc_complex(size));
    const std::unique_ptr<fftwf_plan_s, PlanDestroy> plan(fftwf_plan_dft_1d(
        static_cast<int>(size), in.get(), spectrum.get(), FFTW_FORWARD, FFTW_ESTIMATE));
    shareOut(l.columns, kBatch / 4, [&](std::int64_t first, std::int64_t end) {
        fillColumns(*made, l, turn, plan.get(), first, end, out.levels);
    });
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
