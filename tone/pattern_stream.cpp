// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone/pattern_stream.h"

#include <algorithm>
#include <limits>

namespace vesk {

using namespace rule;

void PatternStream::startFromKnownDot(std::int64_t target) const {
    // The latest dot start at or before the target whose phase is known; a walk that is
    // already between it and the target goes on from where it stands.
    const std::int64_t dot = std::min(target / dotSamples_, knownDots_ - 1);
    const std::int64_t start = dot * dotSamples_;
    if (target < cursor_ || start > cursor_) {
        cursor_ = start;
        phase_ = dotPhase_[static_cast<std::size_t>(dot)];
    }
}

// Moves the cursor toward `target` (0..renderedEnd_) by at most `budget` samples, advancing
// the phase exactly as rendering them would, and notes each dot start it passes.
// Puts the cursor's dot, its offset `j` in the dot and its envelope run into place, notes
// the phase at a dot start reached for the first time, and sets `oscillator` there.
const DotPlan& PatternStream::enterRun(Oscillator& oscillator, std::int64_t& j, int& run) const {
    if (cursor_ < dotStart_ || cursor_ - dotStart_ >= dotSamples_) {
        cursorDot_ = cursor_ / dotSamples_;
        dotStart_ = cursorDot_ * dotSamples_;
    }
    const std::int64_t dot = cursorDot_;
    j = cursor_ - dotStart_;
    if (j == 0 && dot == knownDots_) {
        dotPhase_[static_cast<std::size_t>(dot)] = phase_;
        ++knownDots_;
    }
    const DotPlan& plan = dots_[static_cast<std::size_t>(dot)];
    oscillator.setStep(plan.step);
    oscillator.setPhase(phase_);
    run = 0;
    while (j >= plan.runEnd[run]) {
        ++run;
    }
    if (j == (run == 0 ? 0 : plan.runEnd[run - 1])) {
        runStill_ = oscillator.standsStill();
    }
    return plan;
}

void PatternStream::walkTo(std::int64_t target, std::int64_t budget) const {
    if (target == cursor_) {
        return; // a read that continues the last one: the common case
    }
    startFromKnownDot(target);
    Oscillator oscillator(twoPi_);
    while (cursor_ < target && budget > 0) {
        std::int64_t j = 0;
        int run = 0;
        const DotPlan& plan = enterRun(oscillator, j, run);
        const std::int64_t n = std::min({plan.runEnd[run] - j, target - cursor_, budget});
        oscillator.skip(n);
        phase_ = oscillator.phase();
        cursor_ += n;
        budget -= n;
    }
}

// Renders `count` samples from the cursor, which must all lie before renderedEnd_.
void PatternStream::produce(std::int16_t* out, std::int64_t count) const {
    Oscillator oscillator(twoPi_);
    while (count > 0) {
        std::int64_t j = 0;
        int run = 0;
        const DotPlan& plan = enterRun(oscillator, j, run);
        const std::int64_t n = std::min(plan.runEnd[run] - j, count);
        renderRun(oscillator, out, j, j + n, plan, run, runStill_);
        phase_ = oscillator.phase();
        cursor_ += n;
        out += n;
        count -= n;
    }
}

void PatternStream::copySamples(std::int64_t from, std::int16_t* out, int count) const {
    if (count <= 0) {
        return;
    }
    if (empty() || from >= renderedEnd_ || from <= -std::int64_t{count}) {
        std::fill(out, out + count, std::int16_t{0});
        return;
    }
    // From here on from + count cannot overflow and the rendered samples overlap the request.
    const std::int64_t inFrom = std::max<std::int64_t>(from, 0);
    const std::int64_t inEnd = std::min<std::int64_t>(from + count, renderedEnd_);
    std::int16_t* inside = std::fill_n(out, inFrom - from, std::int16_t{0});
    walkTo(inFrom, std::numeric_limits<std::int64_t>::max());
    produce(inside, inEnd - inFrom);
    std::fill(inside + (inEnd - inFrom), out + count, std::int16_t{0});
}

bool PatternStream::prepare(std::int64_t position, std::int64_t budget) const {
    if (empty() || position >= renderedEnd_) {
        return true;
    }
    const std::int64_t target = std::max<std::int64_t>(position, 0);
    walkTo(target, budget);
    return cursor_ == target;
}

Result<PatternStream> makePatternStream(const BeaconPattern& pattern, std::int32_t amplitude,
                                        const StreamProgress& progress) {
    if (Result<> parameters = checkParameters(pattern); !parameters) {
        return parameters.failure();
    }
    const RenderSizes sizes = renderSizes(pattern);
    PatternStream stream;
    stream.twoPi_ = twoPiValue();
    stream.dotSamples_ = sizes.dotSamples;
    stream.renderedEnd_ = sizes.renderedEnd;
    stream.sampleCount_ = sizes.sampleCount;
    const std::int32_t dotCount = pattern.dotCount;
    const std::int32_t interval = dotCount / 10 > 0 ? dotCount / 10 : 1;
    stream.dots_.reserve(static_cast<std::size_t>(dotCount) + 1);
    for (std::int32_t d = 0; d <= dotCount; ++d) {
        if (progress && d % interval == 0) {
            const double left = static_cast<double>(dotCount - d) / static_cast<double>(interval);
            progress(std::min(roundToInt32(left), 10));
        }
        stream.dots_.push_back(planDot(pattern, amplitude, sizes, d, stream.twoPi_));
    }
    // The phase is 0 at the first sample.
    stream.dotPhase_.assign(stream.dots_.size(), 0.0);
    stream.knownDots_ = 1;
    return stream;
}

} // namespace vesk
