// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/result.h"
#include "tone/pattern.h"
#include "tone/sample_rule.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace vesk {

// The pattern's samples on demand: any block of them, exactly as the whole-pattern render
// gives them, in memory that does not grow with the dot length. Made in O(dots); a read that
// continues the previous one costs O(samples read). A read elsewhere first carries the phase
// there from the nearest dot start it has passed (the phase is a serial recurrence over every
// sample, so a dot never reached before costs a walk through the ones before it, about 1 ns
// a sample). Values are cheap to copy; a copy keeps what the original had learnt.
class PatternStream {
public:
    // No pattern: no samples, every read silence.
    PatternStream() = default;

    // N, the pattern's sample count.
    std::int64_t sampleCount() const { return sampleCount_; }
    bool empty() const { return dots_.empty(); }

    // Copies `count` (0 or more) samples from table position `from` into `out`; silence outside
    // 0..N-1.
    void copySamples(std::int64_t from, std::int16_t* out, int count) const;

    // Carries the phase toward table position `position` by at most `budget` samples; true
    // once a read from `position` costs no more than its own length.
    bool prepare(std::int64_t position, std::int64_t budget) const;

private:
    friend Result<PatternStream> makePatternStream(const BeaconPattern& pattern,
                                                   std::int32_t amplitude,
                                                   const std::function<void(int)>& progress);

    const rule::DotPlan& enterRun(rule::Oscillator& oscillator, std::int64_t& j, int& run) const;
    void walkTo(std::int64_t position, std::int64_t budget) const;
    void produce(std::int16_t* out, std::int64_t count) const;
    void startFromKnownDot(std::int64_t position) const;

    std::vector<rule::DotPlan> dots_;
    std::int64_t dotSamples_ = 0;  // K
    std::int64_t renderedEnd_ = 0; // samples from here to N are zero
    std::int64_t sampleCount_ = 0; // N
    double twoPi_ = 0.0;

    // What the walk has learnt: the phase at the start of dots 0 .. knownDots_ - 1, and where
    // the last read ended. The still flag is the one of the run the cursor is in, taken where
    // that run began (a run that began standing still takes its sine from that phase).
    mutable std::vector<double> dotPhase_;
    mutable std::int64_t knownDots_ = 0;
    mutable std::int64_t cursor_ = 0;
    mutable std::int64_t cursorDot_ = 0; // the cursor's dot, and where it starts
    mutable std::int64_t dotStart_ = 0;
    mutable double phase_ = 0.0;
    mutable bool runStill_ = false;
};

// Called with the number of progress blocks (10 down to 0) as the preparation advances.
using StreamProgress = std::function<void(int blocks)>;

// The stream of `pattern` at peak `amplitude` (0..32767 for level code 1). Fails, with the
// operator's message, only for parameters outside their limits (dot length below 1 ms, dot
// count outside 0..600). The progress steps run through one per tenth of the dots, as the
// whole render's did.
Result<PatternStream> makePatternStream(const BeaconPattern& pattern, std::int32_t amplitude,
                                        const StreamProgress& progress = {});

} // namespace vesk
