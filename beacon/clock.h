#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Starting on the UTC clock: slow-CW grabbers stack frames that begin on whole multiples of
// some minutes, WSPR starts one second after every even minute. Pure arithmetic on wall times
// (ms since 1970-01-01 00:00 UTC, leap seconds not counted), so that tests run it on any time.
namespace vesk::beacon {

inline constexpr std::int64_t kMsPerMinute = 60'000;
inline constexpr std::int64_t kMsPerDay = 1440 * kMsPerMinute;

// Every `everyMinutes` minutes of the UTC day (1..1440), `offsetMs` (0 .. the interval - 1)
// after the minute. The grid restarts at midnight: an interval that does not divide the day
// (7 minutes) ends the day with a shorter frame, so every frame starts at the same times each
// day.
struct ClockGrid {
    int everyMinutes = 2;
    std::int64_t offsetMs = 1000;
};

// Empty when the grid is valid, else the operator's message.
std::string clockGridProblem(const ClockGrid& grid);

// The first boundary of the grid at which a transmission can still start when it is prepared
// at `nowMs` and needs `leadMs` (0 or more: the PTT's lead and the sound's way to the
// converter) before its first sample: the earliest boundary B with B - leadMs >= nowMs. A start
// later than that skips to the following boundary. Nothing for an invalid grid.
std::optional<std::int64_t> nextBoundary(const ClockGrid& grid, std::int64_t nowMs,
                                         std::int64_t leadMs = 0);

// The grid a pattern with WSPR timing starts on: every 2 minutes, 1 s after the minute.
inline constexpr ClockGrid kWsprGrid{2, 1000};

// "2026-12-07 02:40:01 UTC" for a wall time in ms (the ms are dropped).
std::string utcText(std::int64_t ms);

} // namespace vesk::beacon
