// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "plan/plan.h"
#include "platform/result.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// When a plan transmits: pure functions of the plan, a time and the seed of the draws, so that
// whole days run on any clock.
namespace vesk::plan {

// The output opens this long before a transmission's first sample (at least
// kClockFirstMarginNs): time to open it and key the transmitter ahead of that sample.
inline constexpr std::int64_t kOpenLeadNs = 2 * kSecondNs;
// What setting and reading back the dial may take (four CAT commands), in ns.
inline constexpr std::int64_t kDialAllowanceNs = 2 * kSecondNs;

// One transmission: entry `entry` (its index in Plan::entries), first sample at `at`.
struct Slot {
    UtcNanoseconds at = 0;
    std::size_t entry = 0;
    bool operator==(const Slot&) const = default;
};

// The entry's first slot at or after `from`, whatever its hours, days and percent.
UtcNanoseconds nextSlotTime(const PlanEntry& entry, UtcNanoseconds from);
// True when `at` falls in the entry's hours and on one of its days (UTC).
bool inWindow(const PlanEntry& entry, UtcNanoseconds at);
// The draw of entry `index`'s slot at `at`: true for `percent` in 100 of the slots, the same
// for the same seed.
bool drawn(const PlanEntry& entry, std::size_t index, UtcNanoseconds at, std::uint64_t seed);

// The plan's first transmission at or after `from`: the earliest slot in its window whose draw
// sends; of the entries sharing that instant, the first listed whose draw sends. Nothing when
// none falls within eight days.
std::optional<Slot> nextTransmission(const Plan& plan, UtcNanoseconds from, std::uint64_t seed);
// The next `count` of them.
std::vector<Slot> nextTransmissions(const Plan& plan, UtcNanoseconds from, std::size_t count,
                                    std::uint64_t seed);

// How long before its first sample a transmission of `entry` needs the station: its hook, the
// dial and the output's opening, in ns.
std::int64_t preparationNs(const PlanEntry& entry);

// Passes a plan each of whose transmissions, whatever the draws, ends in time for the next one
// to be prepared (preparationNs), over a whole week; otherwise fails naming the file, the line
// of the entry whose sound runs on, both entries and the times.
Result<> checkPlanDay(const Plan& plan);

// "Mon 2026-12-07 10:02:01 UTC".
std::string formatSlotTime(UtcNanoseconds at);
// "1 min 50.6 s", "28.5 s".
std::string formatLength(std::int64_t ns);

} // namespace vesk::plan
