#include "beacon/clock.h"

#include <gtest/gtest.h>

namespace vesk::beacon {
namespace {

// 2026-12-07 00:00:00 UTC, a wall time on the fake clock.
constexpr std::int64_t kDay = 1796601600000;
constexpr std::int64_t min = kMsPerMinute;
constexpr std::int64_t s = 1000;

TEST(ClockGrid, NextBoundaryForIntervalOffsetAndLead) {
    const struct {
        ClockGrid grid;
        std::int64_t now, lead, boundary;
    } cases[] = {
        // WSPR: 1 s after an even minute; exactly on it is still in time, 1 ms late is not.
        {kWsprGrid, 0, 0, 1 * s},
        {kWsprGrid, 1 * s, 0, 1 * s},
        {kWsprGrid, 1 * s + 1, 0, 2 * min + 1 * s},
        {kWsprGrid, 59 * min + 30 * s, 0, 60 * min + 1 * s},
        // The lead counts: 240 ms of PTT lead needs the start 240 ms before the boundary.
        {kWsprGrid, 760, 240, 1 * s},
        {kWsprGrid, 761, 240, 2 * min + 1 * s},
        // Slow-CW frames of 10 minutes on the clock's tens.
        {{10, 0}, 3 * min, 0, 10 * min},
        {{10, 0}, 10 * min, 0, 10 * min},
        {{10, 0}, 23 * 60 * min + 55 * min, 0, kMsPerDay},
        {{10, 0}, 23 * 60 * min + 50 * min + 1, 0, kMsPerDay},
        {{1, 59 * s}, 59 * s + 1, 0, 1 * min + 59 * s},
        {{1440, 0}, 1, 0, kMsPerDay},
        // 7 minutes does not divide the day: the last frame (23:55) is short and the grid
        // starts again at midnight; an offset can carry that last frame past midnight.
        {{7, 0}, 23 * 60 * min + 54 * min, 0, 23 * 60 * min + 55 * min},
        {{7, 0}, 23 * 60 * min + 55 * min + 1, 0, kMsPerDay},
        {{7, 6 * min}, 23 * 60 * min + 56 * min, 0, kMsPerDay + 1 * min},
        {{7, 6 * min}, kMsPerDay + 1 * min + 1, 0, kMsPerDay + 6 * min},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(nextBoundary(c.grid, kDay + c.now, c.lead), kDay + c.boundary)
            << c.grid.everyMinutes << " min + " << c.grid.offsetMs << " ms at " << c.now;
    }
    // Before 1970 the grid is the same.
    EXPECT_EQ(nextBoundary({10, 0}, -kMsPerDay + 3 * min), -kMsPerDay + 10 * min);
}

TEST(ClockGrid, RefusesIntervalsOffsetsAndLeadsOutsideTheirRanges) {
    const struct {
        ClockGrid grid;
        bool valid;
    } cases[] = {{{0, 0}, false},      {{1441, 0}, false},      {{1, -1}, false},
                 {{1, 60 * s}, false}, {{1, 60 * s - 1}, true}, {{1440, 0}, true}};
    for (const auto& c : cases) {
        EXPECT_EQ(clockGridProblem(c.grid).empty(), c.valid) << c.grid.everyMinutes;
        EXPECT_EQ(nextBoundary(c.grid, kDay).has_value(), c.valid);
    }
    EXPECT_FALSE(nextBoundary(kWsprGrid, kDay, -1));
    EXPECT_EQ(utcText(kDay + 2 * min + 1 * s + 999), "2026-12-07 00:02:01 UTC");
}

} // namespace
} // namespace vesk::beacon
