// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/result.h"

#include <cstdint>
#include <string>

namespace vesk {

// Transmissions on the clock: each cycle starts at a UTC boundary, a whole multiple of
// `everyMinutes` minutes since midnight plus `offsetSeconds`. Off (0 minutes) by default:
// cycles then follow one another at the pattern's repeat interval.
struct ClockTiming {
    int everyMinutes = 0;
    int offsetSeconds = 0;

    bool onTheClock() const { return everyMinutes > 0; }
    bool operator==(const ClockTiming&) const = default;
};

// The longest interval: one transmission a day.
inline constexpr int kMaxEveryMinutes = 1440;

// The timing slow WSPR beacons keep: every even minute, one second past it.
inline constexpr ClockTiming kWsprTiming{2, 1};

// Nanoseconds since the Unix epoch, UTC.
using UtcNanoseconds = std::int64_t;

// Passes a timing that can be kept; fails with the sentence for the operator. The interval is
// 1..1440 minutes and divides the day into whole intervals; the offset falls inside it.
Result<> checkClockTiming(const ClockTiming& timing);

// The first boundary at or after `earliest` (a timing that passes checkClockTiming).
UtcNanoseconds nextClockBoundary(UtcNanoseconds earliest, const ClockTiming& timing);

// "14:02:01 UTC" for the second that `time` falls in.
std::string formatUtcTime(UtcNanoseconds time);

// The log's words for a step of the wall clock by `stepNs` (negative: back): "the wall
// clock stepped back 20.000 s".
std::string clockStepText(std::int64_t stepNs);

// Reads the UTC wall clock; a test moves its own.
class WallClock {
public:
    virtual ~WallClock() = default;
    virtual UtcNanoseconds now() const = 0;
};

// The system's real-time clock.
const WallClock& systemWallClock();

// Nanoseconds on a clock that only goes forward, whatever is done to the wall clock: what
// durations, deadlines and retries are measured on.
using SteadyNanoseconds = std::int64_t;

// Reads the steady clock; a test moves its own.
class SteadyClock {
public:
    virtual ~SteadyClock() = default;
    virtual SteadyNanoseconds now() const = 0;
};

// The system's monotonic clock.
const SteadyClock& systemSteadyClock();

} // namespace vesk
