// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone/clock_timing.h"

#include <chrono>

#include <cstdio>
#include <ctime>

namespace vesk {

namespace {

constexpr std::int64_t kSecond = 1'000'000'000;
constexpr std::int64_t kDayMinutes = 1440;

// Floor division: times before the epoch stay on the same grid.
std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

class SystemWallClock : public WallClock {
public:
    UtcNanoseconds now() const override {
        timespec time{};
        ::clock_gettime(CLOCK_REALTIME, &time);
        return std::int64_t{time.tv_sec} * kSecond + time.tv_nsec;
    }
};

} // namespace

Result<> checkClockTiming(const ClockTiming& timing) {
    if (timing.everyMinutes < 1 || timing.everyMinutes > kMaxEveryMinutes ||
        kDayMinutes % timing.everyMinutes != 0) {
        return fail("The interval must divide the day (1440 minutes) into whole intervals, e.g. "
                    "2, 10, 30 or 60 minutes.");
    }
    if (timing.offsetSeconds < 0 ||
        std::int64_t{timing.offsetSeconds} >= std::int64_t{timing.everyMinutes} * 60) {
        return fail("The offset must be at least 0 and less than the interval (" +
                    std::to_string(timing.everyMinutes * 60) + " s).");
    }
    return {};
}

UtcNanoseconds nextClockBoundary(UtcNanoseconds earliest, const ClockTiming& timing) {
    // Intervals that divide the day start at midnight, so counting from the epoch (a midnight)
    // lands on the same grid every day.
    const std::int64_t period = std::int64_t{timing.everyMinutes} * 60 * kSecond;
    const std::int64_t offset = std::int64_t{timing.offsetSeconds} * kSecond;
    const std::int64_t intervals = floorDiv(earliest - offset, period);
    UtcNanoseconds boundary = intervals * period + offset;
    if (boundary < earliest) {
        boundary += period;
    }
    return boundary;
}

std::string formatUtcTime(UtcNanoseconds time) {
    const std::time_t seconds = static_cast<std::time_t>(floorDiv(time, kSecond));
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d UTC", utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

std::string clockStepText(std::int64_t stepNs) {
    const std::int64_t ms = ((stepNs < 0 ? -stepNs : stepNs) + 500'000) / 1'000'000;
    char text[64];
    std::snprintf(text, sizeof text, "the wall clock stepped %s %lld.%03lld s",
                  stepNs < 0 ? "back" : "forward", static_cast<long long>(ms / 1000),
                  static_cast<long long>(ms % 1000));
    return text;
}

const WallClock& systemWallClock() {
    static const SystemWallClock clock;
    return clock;
}

namespace {

class SystemSteadyClock : public SteadyClock {
public:
    SteadyNanoseconds now() const override {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

} // namespace

const SteadyClock& systemSteadyClock() {
    static const SystemSteadyClock clock;
    return clock;
}

} // namespace vesk
