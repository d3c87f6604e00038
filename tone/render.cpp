// The sample rule. renderPatternReference implements it literally; renderPattern must give the
// same samples (at most one sample in a million may differ, by 1, where a value lies within
// rounding noise of a half) and is checked against it by the tests and the benchmark.
//
//   S  = float(44100 x dotLength / 1000)          samples per dot, single precision
//   K  = floor(S)                                  samples rendered per dot
//   N  = (dotCount + 1) x 44100 x dotLength / 1000, exact integers, ties to even
//   dots d = 0..dotCount each own samples d x K .. d x K + K - 1; nothing is written at or
//   beyond N, and the samples from (dotCount + 1) x K up to N stay 0.
//
//   Per dot: t = toneIndex[d], L = levelCode[d].
//     tone dot (t != 0):   f = toneFrequency(d), g = 1 / L
//     silent dot (t == 0): f = 0,                g = 0.0001 whatever L is
//     A = float(amplitude x g)
//     step = ((2 x pi) x f) / 44100 with pi = 4 x atan(1)
//
//   Per sample j = 0..K-1 (jd = j as double, Sd = S as double), s = sin(phase), the first
//   rule that applies gives the weight w (all in double precision, evaluated as written):
//     tone dot with L == 0:                            v = 0
//     fade-in:  jd < 0.1f x S, d == 0 or toneIndex[d-1] == 0
//               w = A x ((10 x jd) / Sd)
//     ramp:     jd < 0.1f x S, tone dot, d != 0, levelCode[d-1] != L
//               w = amplitude x (p + (q - p) x ((10 x jd) / Sd)),  p = 1 / levelCode[d-1],
//               q = 1 / L; v = 0 when levelCode[d-1] == 0
//     fade-out: jd > 0.9f x S, d == dotCount or toneIndex[d+1] == 0
//               w = A x ((10 x (Sd - jd)) / Sd)
//     plain:    w = A
//     v = s x w
//   The thresholds 0.1f x S and 0.9f x S are exact products of two floats in double.
//   A silent dot never ramps: its level change would otherwise ride on a constant sine and put
//   a DC step on the air.
//
//   Sample = v with NaN as 0, clipped to -32767..32767 (codes between 0 and 1 from files must
//   clip, never wrap), rounded to nearest with ties to even.
//
//   Phase: double, 0 at the start of the render, never reset between dots. After each sample
//   phase += step; then if phase > 2 x pi, phase -= 2 x pi (once).
//
// This file is compiled without floating-point contraction, since a fused multiply-add would
// round differently from the rule above, and without trapping math, so that the clipping
// comparisons vectorise.

#include "tone/render.h"

#include "files/wave_image.h"
#include "tone/fast_sine.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

namespace vesk {

namespace {

constexpr double kSilenceGain = 0.0001;
constexpr double kPeakLimit = 32767.0;

// Adding and subtracting 1.5 x 2^52 rounds a double of magnitude below 2^51 to a whole number,
// ties to even, without a library call, so that the loops below vectorise.
constexpr double kRoundMagic = 0x1.8p52;

double twoPiValue() {
    return 2.0 * (4.0 * std::atan(1.0));
}

// The dot peak is held in single precision. A tiny level code from a file can push it past the
// float range; that gives the infinity IEEE arithmetic would, without the undefined conversion.
float singlePrecision(double value) {
    if (value > static_cast<double>(std::numeric_limits<float>::max())) {
        return std::numeric_limits<float>::infinity();
    }
    if (value < -static_cast<double>(std::numeric_limits<float>::max())) {
        return -std::numeric_limits<float>::infinity();
    }
    return static_cast<float>(value);
}

// The quantities that depend only on the parameters (which must be within their limits).
struct RenderSizes {
    float samplesPerDot = 0.0f;   // S
    double samplesPerDotD = 0.0;  // S as double
    std::int64_t dotSamples = 0;  // K
    std::int64_t sampleCount = 0; // N
    std::int64_t renderedEnd = 0; // min((dotCount + 1) x K, N)
    double fadeInBelow = 0.0;     // 0.1f x S
    double fadeOutAbove = 0.0;    // 0.9f x S
};

std::int64_t exactSampleCount(std::int32_t dotCount, std::int32_t dotLength) {
    // At most 601 x 44100 x (2^31 - 1), well inside 64 bits.
    const std::int64_t scaled =
        (std::int64_t{dotCount} + 1) * kSampleRate * std::int64_t{dotLength};
    std::int64_t whole = scaled / 1000;
    const std::int64_t rest = scaled % 1000;
    if (rest > 500 || (rest == 500 && (whole & 1) != 0)) {
        ++whole;
    }
    return whole;
}

RenderSizes renderSizes(const BeaconPattern& pattern) {
    RenderSizes sizes;
    const double scaled = static_cast<double>(std::int64_t{kSampleRate} * pattern.dotLength);
    sizes.samplesPerDot = static_cast<float>(scaled / 1000.0);
    sizes.samplesPerDotD = static_cast<double>(sizes.samplesPerDot);
    sizes.dotSamples = static_cast<std::int64_t>(std::floor(sizes.samplesPerDotD));
    sizes.sampleCount = exactSampleCount(pattern.dotCount, pattern.dotLength);
    sizes.renderedEnd =
        std::min((std::int64_t{pattern.dotCount} + 1) * sizes.dotSamples, sizes.sampleCount);
    sizes.fadeInBelow = static_cast<double>(0.1f) * sizes.samplesPerDotD;
    sizes.fadeOutAbove = static_cast<double>(0.9f) * sizes.samplesPerDotD;
    return sizes;
}

// Empty when the parameters can be rendered, else the operator's message.
std::string parameterProblem(const BeaconPattern& pattern) {
    if (pattern.dotLength < 1) {
        return "The pattern cannot be rendered: the dot length is " +
               std::to_string(pattern.dotLength) + " ms (it must be at least 1 ms).";
    }
    if (pattern.dotCount < 0 || pattern.dotCount > kMaxDotCount) {
        return "The pattern cannot be rendered: the number of dots is " +
               std::to_string(pattern.dotCount) + " (it must be 0 to 600).";
    }
    const std::int64_t count = exactSampleCount(pattern.dotCount, pattern.dotLength);
    if (count > kMaxRenderSamples) {
        return "The pattern is too long to render: " + std::to_string(count) +
               " samples (at most " + std::to_string(kMaxRenderSamples) + ", about " +
               std::to_string(kMaxRenderSamples / kSampleRate / 60) + " minutes).";
    }
    return {};
}

std::int16_t referenceSample(double v) {
    if (std::isnan(v)) {
        return 0;
    }
    v = std::clamp(v, -kPeakLimit, kPeakLimit);
    return static_cast<std::int16_t>(std::nearbyint(v));
}

// ---- The fast render --------------------------------------------------------------------

// The envelope of a run of samples inside one dot.
enum class Envelope { Plain, FadeIn, Ramp, FadeOut, Silent };

struct RunLevels {
    double peak = 0.0;          // A as double
    double amplitude = 0.0;     // the peak for level code 1
    double fromGain = 0.0;      // p of the ramp
    double toGain = 0.0;        // q of the ramp
    double samplesPerDot = 0.0; // S as double
};

// The weights of dot sample j, evaluated exactly as the rule writes them.
inline double fadeInWeight(const RunLevels& levels, double jd) {
    return levels.peak * ((10.0 * jd) / levels.samplesPerDot);
}

inline double rampWeight(const RunLevels& levels, double jd) {
    return levels.amplitude * (levels.fromGain + (levels.toGain - levels.fromGain) *
                                                     ((10.0 * jd) / levels.samplesPerDot));
}

inline double fadeOutWeight(const RunLevels& levels, double jd) {
    const double size = levels.samplesPerDot;
    return levels.peak * ((10.0 * (size - jd)) / size);
}

double envelopeWeight(Envelope envelope, const RunLevels& levels, double jd) {
    switch (envelope) {
    case Envelope::FadeIn:
        return fadeInWeight(levels, jd);
    case Envelope::Ramp:
        return rampWeight(levels, jd);
    case Envelope::FadeOut:
        return fadeOutWeight(levels, jd);
    case Envelope::Plain:
        return levels.peak;
    case Envelope::Silent:
        break;
    }
    return 0.0;
}

// For |v| < 32767.5: no clipping can be needed and the rounding alone gives the sample.
inline std::int16_t roundedSample(double v) {
    v = (v + kRoundMagic) - kRoundMagic;
    return static_cast<std::int16_t>(static_cast<std::int32_t>(v));
}

// The full conversion: NaN as 0, clipped, rounded.
inline std::int16_t clippedSample(double v) {
    v = v == v ? v : 0.0;
    v = v < -kPeakLimit ? -kPeakLimit : v;
    v = v > kPeakLimit ? kPeakLimit : v;
    return roundedSample(v);
}

template <typename Convert, typename Weight>
[[gnu::always_inline]] inline void shapeLoop(const double* sines, std::int16_t* out, int n,
                                             double j0, Convert convert, Weight weight) {
    for (int i = 0; i < n; ++i) {
        out[i] = convert(sines[i] * weight(j0 + i));
    }
}

template <typename Convert>
[[gnu::always_inline]] inline void shapeWith(const double* sines, std::int16_t* out, int n,
                                             Envelope envelope, const RunLevels& levels, double j0,
                                             Convert convert) {
    const double peak = levels.peak;
    switch (envelope) {
    case Envelope::Plain:
        shapeLoop(sines, out, n, j0, convert, [peak](double) { return peak; });
        break;
    case Envelope::FadeIn:
        shapeLoop(sines, out, n, j0, convert, [&](double jd) { return fadeInWeight(levels, jd); });
        break;
    case Envelope::Ramp:
        shapeLoop(sines, out, n, j0, convert, [&](double jd) { return rampWeight(levels, jd); });
        break;
    case Envelope::FadeOut:
        shapeLoop(sines, out, n, j0, convert, [&](double jd) { return fadeOutWeight(levels, jd); });
        break;
    case Envelope::Silent: // never shaped: its samples stay as allocated, zero
        break;
    }
}

// Samples j0 .. j0 + n - 1 of a dot from their sines. `clip` is false only when every |v| is
// known to stay below 32767.5 and finite, which is the case for all ordinary dots.
__attribute__((target_clones("arch=x86-64-v3", "default"))) void
shapeBlock(const double* sines, std::int16_t* out, int n, Envelope envelope,
           const RunLevels& levels, double j0, bool clip) {
    if (clip) {
        shapeWith(sines, out, n, envelope, levels, j0, [](double v) { return clippedSample(v); });
    } else {
        shapeWith(sines, out, n, envelope, levels, j0, [](double v) { return roundedSample(v); });
    }
}

// Whether samples first .. end - 1 may need the clipping: the weight is monotonic in j, so its
// largest magnitude sits at one end of the run; fast sines never exceed 1 by more than 1e-15.
bool runNeedsClip(Envelope envelope, const RunLevels& levels, std::int64_t first,
                  std::int64_t end) {
    const double atFirst = envelopeWeight(envelope, levels, static_cast<double>(first));
    const double atLast = envelopeWeight(envelope, levels, static_cast<double>(end - 1));
    const double largest = std::max(std::fabs(atFirst), std::fabs(atLast));
    return !(largest <= kPeakLimit);
}

// The running phase of the render, advanced exactly as the rule says. This recurrence is the
// one serial part of the render; everything downstream of the phases is computed in blocks.
class Oscillator {
public:
    explicit Oscillator(double twoPi) : twoPi_(twoPi) {}

    void setStep(double step) { step_ = step; }

    // True while the phase stands still: no step and nothing left to wrap.
    bool standsStill() const { return step_ == 0.0 && phase_ <= twoPi_; }

    // True when every phase of the next 2^28 samples stays finite (ordinary tones by far).
    bool staysFinite() const { return std::fabs(phase_) <= 1.0e15 && std::fabs(step_) <= 1.0e6; }

    double phase() const { return phase_; }

    void fill(double* phases, int n) {
        double x = phase_;
        const double step = step_;
        const double twoPi = twoPi_;
        for (int i = 0; i < n; ++i) {
            phases[i] = x;
            x += step;
            if (x > twoPi) {
                x -= twoPi;
            }
        }
        phase_ = x;
    }

    void skip(std::int64_t n) {
        for (std::int64_t i = 0; i < n; ++i) {
            phase_ += step_;
            if (phase_ > twoPi_) {
                phase_ -= twoPi_;
            }
        }
    }

private:
    double twoPi_;
    double phase_ = 0.0;
    double step_ = 0.0;
};

void storeSamples(std::uint8_t* data, std::int64_t index, const std::int16_t* samples, int n) {
    std::uint8_t* out = data + 2 * index;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, samples, 2 * static_cast<std::size_t>(n));
    } else {
        for (int i = 0; i < n; ++i) {
            const auto bits = static_cast<std::uint16_t>(samples[i]);
            out[2 * i] = static_cast<std::uint8_t>(bits & 0xFFu);
            out[2 * i + 1] = static_cast<std::uint8_t>(bits >> 8);
        }
    }
}

// Renders samples `first` .. `end` - 1 of the dot starting at table index `dotStart` under one
// envelope into the sample bytes `data`.
void renderRun(Oscillator& oscillator, std::uint8_t* data, std::int64_t dotStart,
               std::int64_t first, std::int64_t end, Envelope envelope, const RunLevels& levels) {
    // Small enough for the three blocks to stay in the first-level cache.
    constexpr int kBlock = 512;
    double phases[kBlock];
    double sines[kBlock];
    std::int16_t samples[kBlock];
    if (first >= end) {
        return;
    }
    if (envelope == Envelope::Silent) {
        // Already zero in the freshly allocated image; only the phase moves on.
        oscillator.skip(end - first);
        return;
    }
    const bool clip = !oscillator.staysFinite() || runNeedsClip(envelope, levels, first, end);
    const bool still = oscillator.standsStill();
    if (still) {
        std::fill(sines, sines + kBlock, std::sin(oscillator.phase()));
    }
    for (std::int64_t j = first; j < end; j += kBlock) {
        const int n = static_cast<int>(std::min<std::int64_t>(kBlock, end - j));
        if (!still) {
            oscillator.fill(phases, n);
            fastSines(phases, sines, static_cast<std::size_t>(n));
        }
        shapeBlock(sines, samples, n, envelope, levels, static_cast<double>(j), clip);
        storeSamples(data, dotStart + j, samples, n);
    }
}

void renderFast(const BeaconPattern& pattern, std::int32_t amplitude,
                const RenderProgress& progress, const RenderSizes& sizes, std::uint8_t* data) {
    const double twoPi = twoPiValue();
    Oscillator oscillator(twoPi);
    const std::int32_t dotCount = pattern.dotCount;
    const std::int32_t interval = dotCount / 10 > 0 ? dotCount / 10 : 1;
    // Dot-relative bounds of the fades: j < fadeInBelow and j > fadeOutAbove.
    const auto headEnd = static_cast<std::int64_t>(std::ceil(sizes.fadeInBelow));
    const auto tailStart = static_cast<std::int64_t>(std::floor(sizes.fadeOutAbove)) + 1;

    for (std::int32_t d = 0; d <= dotCount; ++d) {
        if (progress && d % interval == 0) {
            const double left = static_cast<double>(dotCount - d) / static_cast<double>(interval);
            progress(std::min(roundToInt32(left), 10));
        }
        const std::int64_t dotStart = std::int64_t{d} * sizes.dotSamples;
        const std::int64_t count = std::min(sizes.dotSamples, sizes.renderedEnd - dotStart);
        if (count <= 0) {
            continue;
        }
        const auto slot = static_cast<std::size_t>(d);
        const float code = pattern.levelCode[slot];
        const bool tone = pattern.toneIndex[slot] != 0.0f;
        const float frequency = tone ? toneFrequency(pattern, d) : 0.0f;
        const double gain = tone ? levelGain(pattern, d) : kSilenceGain;
        oscillator.setStep(twoPi * static_cast<double>(frequency) / 44100.0);
        RunLevels levels;
        levels.peak = static_cast<double>(singlePrecision(amplitude * gain));
        levels.amplitude = static_cast<double>(amplitude);
        levels.samplesPerDot = sizes.samplesPerDotD;

        // A tone dot of code 0 has an infinite gain: every sample is 0.
        const bool erased = tone && code == 0.0f;
        Envelope head = erased ? Envelope::Silent : Envelope::Plain;
        Envelope body = head;
        Envelope tail = head;
        if (!erased && (d == 0 || pattern.toneIndex[slot - 1] == 0.0f)) {
            head = Envelope::FadeIn;
        } else if (!erased && tone && pattern.levelCode[slot - 1] != code) {
            head = pattern.levelCode[slot - 1] == 0.0f ? Envelope::Silent : Envelope::Ramp;
            levels.fromGain = levelGain(pattern, d - 1);
            levels.toGain = gain;
        }
        if (!erased && (d == dotCount || pattern.toneIndex[slot + 1] == 0.0f)) {
            tail = Envelope::FadeOut;
        }
        const std::int64_t bodyFrom = std::min(headEnd, count);
        const std::int64_t bodyTo = std::clamp(tailStart, bodyFrom, count);
        renderRun(oscillator, data, dotStart, 0, bodyFrom, head, levels);
        renderRun(oscillator, data, dotStart, bodyFrom, bodyTo, body, levels);
        renderRun(oscillator, data, dotStart, bodyTo, count, tail, levels);
    }
}

} // namespace

std::int64_t RenderedSound::sampleCount() const {
    if (image_.size() < kWaveHeaderSize) {
        return 0;
    }
    return static_cast<std::int64_t>((image_.size() - kWaveHeaderSize) / 2);
}

std::int16_t RenderedSound::sample(std::int64_t index) const {
    if (index < 0 || index >= sampleCount()) {
        return 0;
    }
    const std::size_t at = kWaveHeaderSize + 2 * static_cast<std::size_t>(index);
    const auto bits = static_cast<std::uint16_t>(image_[at] | (image_[at + 1] << 8));
    return static_cast<std::int16_t>(bits);
}

void RenderedSound::copySamples(std::int64_t from, std::int16_t* out, int count) const {
    if (count <= 0) {
        return;
    }
    const std::int64_t total = sampleCount();
    if (from >= total || from <= -std::int64_t{count}) {
        std::fill(out, out + count, std::int16_t{0});
        return;
    }
    // From here on from + count cannot overflow and the pattern overlaps the request.
    const std::int64_t inFrom = std::max<std::int64_t>(from, 0);
    const std::int64_t inEnd = std::min<std::int64_t>(from + count, total);
    std::int16_t* inside = std::fill_n(out, inFrom - from, std::int16_t{0});
    const std::uint8_t* bytes = image_.data() + kWaveHeaderSize + 2 * inFrom;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(inside, bytes, static_cast<std::size_t>(2 * (inEnd - inFrom)));
    } else {
        for (std::int64_t i = 0; i < inEnd - inFrom; ++i) {
            inside[i] = sample(inFrom + i);
        }
    }
    std::fill(inside + (inEnd - inFrom), out + count, std::int16_t{0});
}

std::span<const std::uint8_t> RenderedSound::waveData() const {
    if (image_.size() < kWaveHeaderSize) {
        return {};
    }
    return std::span<const std::uint8_t>(image_).subspan(kWaveHeaderSize);
}

std::int64_t patternSampleCount(const BeaconPattern& pattern) {
    return exactSampleCount(limitDotCount(pattern.dotCount), limitDotLength(pattern.dotLength));
}

RenderResult renderPattern(const BeaconPattern& pattern, std::int32_t amplitude,
                           const RenderProgress& progress) {
    RenderResult result;
    result.error = parameterProblem(pattern);
    if (!result.error.empty()) {
        return result;
    }
    const RenderSizes sizes = renderSizes(pattern);
    // The one allocation of the render: header, then the N samples; zero-filled, which is
    // what the samples beyond the rendered dots must be.
    std::vector<std::uint8_t> image(kWaveHeaderSize +
                                    2 * static_cast<std::size_t>(sizes.sampleCount));
    writeWaveHeader(image.data(), sizes.sampleCount);
    renderFast(pattern, amplitude, progress, sizes, image.data() + kWaveHeaderSize);
    result.ok = true;
    result.sound = RenderedSound(std::move(image));
    return result;
}

std::vector<std::int16_t> renderPatternReference(const BeaconPattern& pattern,
                                                 std::int32_t amplitude) {
    if (!parameterProblem(pattern).empty()) {
        return {};
    }
    const RenderSizes sizes = renderSizes(pattern);
    std::vector<std::int16_t> samples(static_cast<std::size_t>(sizes.sampleCount), 0);
    const double twoPi = twoPiValue();
    const double sd = sizes.samplesPerDotD;
    const double amp = static_cast<double>(amplitude);
    double phase = 0.0;
    std::int64_t index = 0;
    for (std::int32_t d = 0; d <= pattern.dotCount; ++d) {
        const auto slot = static_cast<std::size_t>(d);
        const float t = pattern.toneIndex[slot];
        const float code = pattern.levelCode[slot];
        const bool tone = t != 0.0f;
        const float f = tone ? toneFrequency(pattern, d) : 0.0f;
        const double g = tone ? levelGain(pattern, d) : kSilenceGain;
        const float a = singlePrecision(amp * g);
        const double peak = static_cast<double>(a);
        const double step = twoPi * static_cast<double>(f) / 44100.0;
        const bool fadeInDot = d == 0 || pattern.toneIndex[slot - 1] == 0.0f;
        const bool rampDot = tone && d != 0 && pattern.levelCode[slot - 1] != code;
        const bool fadeOutDot = d == pattern.dotCount || pattern.toneIndex[slot + 1] == 0.0f;
        const bool erasedTone = tone && code == 0.0f;
        const float before = d != 0 ? pattern.levelCode[slot - 1] : 0.0f;
        const double p = d != 0 ? levelGain(pattern, d - 1) : 0.0;
        const double q = g;
        for (std::int64_t j = 0; j < sizes.dotSamples && index < sizes.renderedEnd; ++j) {
            const double jd = static_cast<double>(j);
            const double s = std::sin(phase);
            double v = 0.0;
            if (erasedTone) {
                v = 0.0;
            } else if (jd < sizes.fadeInBelow && fadeInDot) {
                v = s * (peak * ((10.0 * jd) / sd));
            } else if (jd < sizes.fadeInBelow && rampDot) {
                v = before == 0.0f ? 0.0 : s * (amp * (p + (q - p) * ((10.0 * jd) / sd)));
            } else if (jd > sizes.fadeOutAbove && fadeOutDot) {
                v = s * (peak * ((10.0 * (sd - jd)) / sd));
            } else {
                v = s * peak;
            }
            samples[static_cast<std::size_t>(index)] = referenceSample(v);
            ++index;
            phase += step;
            if (phase > twoPi) {
                phase -= twoPi;
            }
        }
    }
    return samples;
}

} // namespace vesk
