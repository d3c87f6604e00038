// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The pieces of the sample rule (see sample_rule.cpp) shared by the whole-pattern render and
// the streaming render, so that both give the same samples by construction.

#include "platform/result.h"
#include "tone/pattern.h"

#include <cmath>
#include <cstdint>

namespace vesk::rule {

inline constexpr double kSilenceGain = 0.0001;
inline constexpr double kPeakLimit = 32767.0;

// 2 x (4 x atan(1)), the phase's wrap.
double twoPiValue();

// The dot peak is held in single precision; beyond the float range it is infinite.
float singlePrecision(double value);

// The quantities that depend only on the parameters (which must be within their limits).
struct RenderSizes {
    float samplesPerDot = 0.0f;   // S
    double samplesPerDotD = 0.0;  // S as double
    std::int64_t dotSamples = 0;  // K, at least 44
    std::int64_t sampleCount = 0; // N
    std::int64_t renderedEnd = 0; // min((dotCount + 1) x K, N)
    double fadeInBelow = 0.0;     // 0.1f x S
    double fadeOutAbove = 0.0;    // 0.9f x S
};

RenderSizes renderSizes(const BeaconPattern& pattern);

// N for parameters within their limits: exact integers, ties to even.
std::int64_t exactSampleCount(std::int32_t dotCount, std::int32_t dotLength);

// Passes parameters that can be rendered and played (dot length at least 1 ms, 0..600 dots,
// a repeat of at least 0); fails with the operator's message. The limits themselves are
// applied where values enter (limitParameters); this is the gate for a pattern that did not
// come in that way.
Result<> checkParameters(const BeaconPattern& pattern);

// The envelope of a run of samples inside one dot.
enum class Envelope { Plain, FadeIn, Ramp, FadeOut, Silent };

struct RunLevels {
    double peak = 0.0;          // A as double
    double amplitude = 0.0;     // the peak for level code 1
    double fromGain = 0.0;      // p of the ramp
    double toGain = 0.0;        // q of the ramp
    double samplesPerDot = 0.0; // S as double
};

// Everything the render needs of one dot: its phase step, levels and three runs (head, body,
// tail) with their dot-relative ends; count is the samples rendered of the dot (K, less for a
// last dot cut at N, 0 for a dot beyond it).
struct DotPlan {
    double step = 0.0;
    RunLevels levels;
    Envelope runs[3] = {Envelope::Plain, Envelope::Plain, Envelope::Plain};
    std::int64_t runEnd[3] = {0, 0, 0};
    bool runClips[3] = {false, false, false}; // runNeedsClip over the whole run
    std::int64_t count = 0;
};

DotPlan planDot(const BeaconPattern& pattern, std::int32_t amplitude, const RenderSizes& sizes,
                std::int32_t dot, double twoPi);

// Whether samples first .. end - 1 of a run may need the clipping (else rounding suffices).
bool runNeedsClip(Envelope envelope, const RunLevels& levels, std::int64_t first, std::int64_t end);

// Samples j0 .. j0 + n - 1 of a dot from their sines. `clip` is false only when every |v| is
// known to stay below 32767.5 and finite.
void shapeBlock(const double* sines, std::int16_t* out, int n, Envelope envelope,
                const RunLevels& levels, double j0, bool clip);

// The running phase of the render, advanced exactly as the rule says. This recurrence is the
// one serial part of the render; everything downstream of the phases is computed in blocks.
class Oscillator {
public:
    explicit Oscillator(double twoPi) : twoPi_(twoPi) {}

    void setStep(double step) { step_ = step; }
    void setPhase(double phase) { phase_ = phase; }

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
        if (standsStill()) {
            return;
        }
        double x = phase_;
        const double step = step_;
        const double twoPi = twoPi_;
        for (std::int64_t i = 0; i < n; ++i) {
            x += step;
            if (x > twoPi) {
                x -= twoPi;
            }
        }
        phase_ = x;
    }

private:
    double twoPi_;
    double phase_ = 0.0;
    double step_ = 0.0;
};

// Renders samples first .. end - 1 of run `run` of a dot into out[0 ..]; `still` is whether
// the oscillator stood still where the run began (its sines are then all the one at that
// phase). Advances the oscillator past the samples.
void renderRun(Oscillator& oscillator, std::int16_t* out, std::int64_t first, std::int64_t end,
               const DotPlan& plan, int run, bool still);

} // namespace vesk::rule
