// SPDX-License-Identifier: GPL-3.0-or-later
// The sample rule. renderPatternReference (render.cpp) implements it literally; the fast
// render built from the pieces here (renderPattern for the whole pattern, PatternStream for any
// block of it) must give the same samples, at most one sample in a million differing by 1
// where a value lies within rounding noise of a half, and the two fast forms exactly the same.
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

#include "tone/sample_rule.h"

#include "tone/fast_sine.h"

#include <algorithm>
#include <limits>

namespace vesk::rule {

namespace {

// Adding and subtracting 1.5 x 2^52 rounds a double of magnitude below 2^51 to a whole number,
// ties to even, without a library call, so that the loops below vectorise.
constexpr double kRoundMagic = 0x1.8p52;

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

} // namespace

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

__attribute__((target_clones("arch=x86-64-v3", "default"))) void
shapeBlock(const double* sines, std::int16_t* out, int n, Envelope envelope,
           const RunLevels& levels, double j0, bool clip) {
    if (clip) {
        shapeWith(sines, out, n, envelope, levels, j0, [](double v) { return clippedSample(v); });
    } else {
        shapeWith(sines, out, n, envelope, levels, j0, [](double v) { return roundedSample(v); });
    }
}

bool runNeedsClip(Envelope envelope, const RunLevels& levels, std::int64_t first,
                  std::int64_t end) {
    const double atFirst = envelopeWeight(envelope, levels, static_cast<double>(first));
    const double atLast = envelopeWeight(envelope, levels, static_cast<double>(end - 1));
    const double largest = std::max(std::fabs(atFirst), std::fabs(atLast));
    return !(largest <= kPeakLimit);
}

Result<> checkParameters(const BeaconPattern& pattern) {
    if (pattern.dotLength < 1) {
        return fail("The pattern cannot be rendered: the dot length is " +
                    std::to_string(pattern.dotLength) + " ms (it must be at least 1 ms).");
    }
    if (pattern.dotCount < 0 || pattern.dotCount > kMaxDotCount) {
        return fail("The pattern cannot be rendered: the number of dots is " +
                    std::to_string(pattern.dotCount) + " (it must be 0 to 600).");
    }
    if (pattern.repeatDots < 0) {
        return fail("The pattern cannot be rendered: the repeat is " +
                    std::to_string(pattern.repeatDots) + " dots (it must be at least 0).");
    }
    return {};
}

DotPlan planDot(const BeaconPattern& pattern, std::int32_t amplitude, const RenderSizes& sizes,
                std::int32_t dot, double twoPi) {
    DotPlan plan;
    const std::int64_t dotStart = std::int64_t{dot} * sizes.dotSamples;
    plan.count = std::clamp<std::int64_t>(sizes.renderedEnd - dotStart, 0, sizes.dotSamples);
    const auto slot = static_cast<std::size_t>(dot);
    const float code = pattern.levelCode[slot];
    const bool tone = pattern.toneIndex[slot] != 0.0f;
    const float frequency = tone ? toneFrequency(pattern, dot) : 0.0f;
    const double gain = tone ? levelGain(pattern, dot) : kSilenceGain;
    plan.step = twoPi * static_cast<double>(frequency) / kSampleRate;
    RunLevels& levels = plan.levels;
    levels.peak = static_cast<double>(singlePrecision(amplitude * gain));
    levels.amplitude = static_cast<double>(amplitude);
    levels.samplesPerDot = sizes.samplesPerDotD;

    // A tone dot of code 0 has an infinite gain: every sample is 0.
    const bool erased = tone && code == 0.0f;
    Envelope head = erased ? Envelope::Silent : Envelope::Plain;
    Envelope body = head;
    Envelope tail = head;
    if (!erased && (dot == 0 || pattern.toneIndex[slot - 1] == 0.0f)) {
        head = Envelope::FadeIn;
    } else if (!erased && tone && pattern.levelCode[slot - 1] != code) {
        head = pattern.levelCode[slot - 1] == 0.0f ? Envelope::Silent : Envelope::Ramp;
        levels.fromGain = levelGain(pattern, dot - 1);
        levels.toGain = gain;
    }
    if (!erased && (dot == pattern.dotCount || pattern.toneIndex[slot + 1] == 0.0f)) {
        tail = Envelope::FadeOut;
    }
    // Dot-relative bounds of the fades: j < fadeInBelow and j > fadeOutAbove.
    const auto headEnd = static_cast<std::int64_t>(std::ceil(sizes.fadeInBelow));
    const auto tailStart = static_cast<std::int64_t>(std::floor(sizes.fadeOutAbove)) + 1;
    const std::int64_t bodyFrom = std::min(headEnd, plan.count);
    const std::int64_t bodyTo = std::clamp(tailStart, bodyFrom, plan.count);
    plan.runs[0] = head;
    plan.runs[1] = body;
    plan.runs[2] = tail;
    plan.runEnd[0] = bodyFrom;
    plan.runEnd[1] = bodyTo;
    plan.runEnd[2] = plan.count;
    for (int run = 0; run < 3; ++run) {
        const std::int64_t first = run == 0 ? 0 : plan.runEnd[run - 1];
        plan.runClips[run] = first < plan.runEnd[run] &&
                             runNeedsClip(plan.runs[run], levels, first, plan.runEnd[run]);
    }
    return plan;
}

void renderRun(Oscillator& oscillator, std::int16_t* out, std::int64_t first, std::int64_t end,
               const DotPlan& plan, int run, bool still) {
    const Envelope envelope = plan.runs[run];
    const RunLevels& levels = plan.levels;
    // Small enough for the two blocks to stay in the first-level cache.
    constexpr int kBlock = 512;
    double phases[kBlock];
    double sines[kBlock];
    if (first >= end) {
        return;
    }
    if (envelope == Envelope::Silent) {
        std::fill(out, out + (end - first), std::int16_t{0});
        oscillator.skip(end - first);
        return;
    }
    const bool clip = !oscillator.staysFinite() || plan.runClips[run];
    if (still) {
        std::fill(sines, sines + kBlock, std::sin(oscillator.phase()));
    }
    for (std::int64_t j = first; j < end; j += kBlock) {
        const int n = static_cast<int>(std::min<std::int64_t>(kBlock, end - j));
        if (!still) {
            oscillator.fill(phases, n);
            fastSines(phases, sines, static_cast<std::size_t>(n));
        }
        shapeBlock(sines, out + (j - first), n, envelope, levels, static_cast<double>(j), clip);
    }
}

} // namespace vesk::rule
