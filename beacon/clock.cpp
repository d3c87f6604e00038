#include "beacon/clock.h"

#include <cstdio>
#include <ctime>

namespace vesk::beacon {

namespace {

// Floor division: wall times before 1970 are negative.
std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0);
}

} // namespace

std::string clockGridProblem(const ClockGrid& grid) {
    if (grid.everyMinutes < 1 || grid.everyMinutes > 1440) {
        return "the interval must be 1 to 1440 minutes, not " + std::to_string(grid.everyMinutes);
    }
    if (grid.offsetMs < 0 || grid.offsetMs >= grid.everyMinutes * kMsPerMinute) {
        return "the offset must be 0 or more and less than the interval (" +
               std::to_string(grid.everyMinutes * 60) + " s)";
    }
    return {};
}

std::optional<std::int64_t> nextBoundary(const ClockGrid& grid, std::int64_t nowMs,
                                         std::int64_t leadMs) {
    if (!clockGridProblem(grid).empty() || leadMs < 0) {
        return std::nullopt;
    }
    const std::int64_t period = grid.everyMinutes * kMsPerMinute;
    const std::int64_t earliest = nowMs + leadMs;
    // The day before (whose last frame may start after midnight when the interval does not
    // divide the day), the day `earliest` falls in, then the first frame of the next day.
    for (std::int64_t day = floorDiv(earliest, kMsPerDay) - 1;; ++day) {
        const std::int64_t midnight = day * kMsPerDay;
        const std::int64_t k = earliest <= midnight + grid.offsetMs
                                   ? 0
                                   : floorDiv(earliest - midnight - grid.offsetMs - 1, period) + 1;
        const std::int64_t boundary = midnight + k * period + grid.offsetMs;
        if (k * period < kMsPerDay) {
            return boundary;
        }
    }
}

std::string utcText(std::int64_t ms) {
    const std::time_t seconds = static_cast<std::time_t>(floorDiv(ms, 1000));
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d UTC", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

} // namespace vesk::beacon
