// SPDX-License-Identifier: GPL-3.0-or-later
// The whole pattern in memory: the render as it was before playback streamed, kept as the
// reference that the streaming render is measured against. The sample rule is in
// sample_rule.cpp.

#include "tone/render.h"

#include "tone/sample_rule.h"
#include "tone/wave_image.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <utility>

namespace vesk {

namespace {

using namespace rule;

std::int16_t referenceSample(double v) {
    if (std::isnan(v)) {
        return 0;
    }
    v = std::clamp(v, -kPeakLimit, kPeakLimit);
    return static_cast<std::int16_t>(std::nearbyint(v));
}

// The gate of the in-memory render: bad parameters, or more than kMaxRenderSamples, fail.
Result<> checkRenderable(const BeaconPattern& pattern) {
    if (Result<> parameters = checkParameters(pattern); !parameters) {
        return parameters;
    }
    const std::int64_t count = exactSampleCount(pattern.dotCount, pattern.dotLength);
    if (count > kMaxRenderSamples) {
        return fail("The pattern is too long to render: " + std::to_string(count) +
                    " samples (at most " + std::to_string(kMaxRenderSamples) + ", about " +
                    std::to_string(kMaxRenderSamples / kSampleRate / 60) + " minutes).");
    }
    return {};
}

void storeSamples(std::uint8_t* data, std::int64_t index, const std::int16_t* samples,
                  std::int64_t n) {
    std::uint8_t* out = data + 2 * index;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, samples, 2 * static_cast<std::size_t>(n));
    } else {
        for (std::int64_t i = 0; i < n; ++i) {
            const auto bits = static_cast<std::uint16_t>(samples[i]);
            out[2 * i] = static_cast<std::uint8_t>(bits & 0xFFu);
            out[2 * i + 1] = static_cast<std::uint8_t>(bits >> 8);
        }
    }
}

// Dot after dot with one oscillator, from phase 0 at the first sample.
void renderFast(const BeaconPattern& pattern, std::int32_t amplitude,
                const RenderProgress& progress, const RenderSizes& sizes, std::uint8_t* data) {
    constexpr std::int64_t kChunk = 4096;
    std::int16_t samples[kChunk];
    const double twoPi = twoPiValue();
    Oscillator oscillator(twoPi);
    const std::int32_t dotCount = pattern.dotCount;
    const std::int32_t interval = dotCount / 10 > 0 ? dotCount / 10 : 1;
    for (std::int32_t d = 0; d <= dotCount; ++d) {
        if (progress && d % interval == 0) {
            const double left = static_cast<double>(dotCount - d) / static_cast<double>(interval);
            progress(std::min(roundToInt32(left), 10));
        }
        const DotPlan plan = planDot(pattern, amplitude, sizes, d, twoPi);
        const std::int64_t dotStart = std::int64_t{d} * sizes.dotSamples;
        oscillator.setStep(plan.step);
        std::int64_t first = 0;
        for (int run = 0; run < 3; ++run) {
            const bool still = oscillator.standsStill();
            for (std::int64_t j = first; j < plan.runEnd[run]; j += kChunk) {
                const std::int64_t end = std::min(j + kChunk, plan.runEnd[run]);
                renderRun(oscillator, samples, j, end, plan, run, still);
                storeSamples(data, dotStart + j, samples, end - j);
            }
            first = std::max(first, plan.runEnd[run]);
        }
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

Result<RenderedSound> renderPattern(const BeaconPattern& pattern, std::int32_t amplitude,
                                    const RenderProgress& progress) {
    if (Result<> renderable = checkRenderable(pattern); !renderable) {
        return renderable.failure();
    }
    const RenderSizes sizes = renderSizes(pattern);
    // The one allocation of the render: header, then the N samples; zero-filled, which is
    // what the samples beyond the rendered dots must be.
    std::vector<std::uint8_t> image(kWaveHeaderSize +
                                    2 * static_cast<std::size_t>(sizes.sampleCount));
    writeWaveHeader(image.data(), sizes.sampleCount);
    renderFast(pattern, amplitude, progress, sizes, image.data() + kWaveHeaderSize);
    return RenderedSound(std::move(image));
}

std::vector<std::int16_t> renderPatternReference(const BeaconPattern& pattern,
                                                 std::int32_t amplitude) {
    if (!checkRenderable(pattern)) {
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
        const double step = twoPi * static_cast<double>(f) / kSampleRate;
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
