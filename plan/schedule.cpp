// SPDX-License-Identifier: GPL-3.0-or-later
#include "plan/schedule.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace vesk::plan {

namespace {

std::string formatWeekTime(UtcNanoseconds at);

constexpr std::int64_t kDayNs = kDaySeconds * kSecondNs;
constexpr std::int64_t kWeekNs = 7 * kDayNs;
// 1970-01-05, the first Monday of the epoch: weeks are counted from it.
constexpr std::int64_t kFirstMondayNs = 4 * kDayNs;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

// splitmix64's finaliser: every bit of the input stirs every bit of the output.
std::uint64_t mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15u;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
    return x ^ (x >> 31);
}

// "Mon 10:02:01 UTC": a time of the weekly round.
std::string formatWeekTime(UtcNanoseconds at) {
    const std::string full = formatSlotTime(at); // "Mon 2026-12-07 10:02:01 UTC"
    return full.substr(0, 4) + full.substr(15);
}

} // namespace

UtcNanoseconds nextSlotTime(const PlanEntry& entry, UtcNanoseconds from) {
    // Slots divide the day, so counting from the epoch (a midnight) keeps the daily grid.
    const std::int64_t period = entry.everySeconds * kSecondNs;
    const std::int64_t offset = entry.offsetSeconds * kSecondNs;
    UtcNanoseconds slot = floorDiv(from - offset, period) * period + offset;
    if (slot < from) {
        slot += period;
    }
    return slot;
}

bool inWindow(const PlanEntry& entry, UtcNanoseconds at) {
    const std::int64_t day = floorDiv(at, kDayNs);
    const auto weekday = static_cast<unsigned>(((day - 4) % 7 + 7) % 7); // 0 Monday
    if ((entry.days & (1u << weekday)) == 0) {
        return false;
    }
    if (entry.hours.empty()) {
        return true;
    }
    const std::int64_t second = (at - day * kDayNs) / kSecondNs;
    return std::any_of(entry.hours.begin(), entry.hours.end(), [second](const HoursWindow& w) {
        return w.from < w.to ? second >= w.from && second < w.to
                             : second >= w.from || second < w.to;
    });
}

bool drawn(const PlanEntry& entry, std::size_t index, UtcNanoseconds at, std::uint64_t seed) {
    if (entry.percent >= 100.0) {
        return true;
    }
    if (entry.percent <= 0.0) {
        return false;
    }
    const std::uint64_t hash =
        mix(mix(mix(seed) ^ index) ^ static_cast<std::uint64_t>(floorDiv(at, kSecondNs)));
    // The top 53 bits as a fraction in [0, 1).
    const double unit = static_cast<double>(hash >> 11) * 0x1.0p-53;
    return unit * 100.0 < entry.percent;
}

std::optional<Slot> nextTransmission(const Plan& plan, UtcNanoseconds from, std::uint64_t seed) {
    const UtcNanoseconds horizon = from + 8 * kDayNs;
    for (UtcNanoseconds t = from; !plan.entries.empty();) {
        UtcNanoseconds earliest = horizon + 1;
        for (const PlanEntry& entry : plan.entries) {
            earliest = std::min(earliest, nextSlotTime(entry, t));
        }
        if (earliest > horizon) {
            return std::nullopt;
        }
        for (std::size_t i = 0; i < plan.entries.size(); ++i) {
            const PlanEntry& entry = plan.entries[i];
            if (nextSlotTime(entry, t) == earliest && inWindow(entry, earliest) &&
                drawn(entry, i, earliest, seed)) {
                return Slot{earliest, i};
            }
        }
        t = earliest + 1;
    }
    return std::nullopt;
}

std::vector<Slot> nextTransmissions(const Plan& plan, UtcNanoseconds from, std::size_t count,
                                    std::uint64_t seed) {
    std::vector<Slot> slots;
    while (slots.size() < count) {
        const std::optional<Slot> next = nextTransmission(plan, from, seed);
        if (!next) {
            break;
        }
        slots.push_back(*next);
        from = next->at + 1;
    }
    return slots;
}

std::int64_t preparationNs(const PlanEntry& entry) {
    std::int64_t ns = kOpenLeadNs;
    if (entry.frequencyHz > 0 || !entry.mode.empty()) {
        ns += kDialAllowanceNs;
    }
    if (!entry.hook.empty()) {
        ns += entry.hookLimitMs * 1'000'000;
    }
    return ns;
}

Result<> checkPlanDay(const Plan& plan) {
    // Every instant of one week at which some entry may send (a draw may pick any of them),
    // in order; hours and days repeat weekly.
    std::vector<Slot> slots;
    for (std::size_t i = 0; i < plan.entries.size(); ++i) {
        const PlanEntry& entry = plan.entries[i];
        if (entry.percent <= 0.0) {
            continue;
        }
        for (UtcNanoseconds t = nextSlotTime(entry, kFirstMondayNs); t < kFirstMondayNs + kWeekNs;
             t += entry.everySeconds * kSecondNs) {
            if (inWindow(entry, t)) {
                slots.push_back({t, i});
            }
        }
    }
    std::sort(slots.begin(), slots.end(), [](const Slot& a, const Slot& b) {
        return a.at != b.at ? a.at < b.at : a.entry < b.entry;
    });
    for (std::size_t i = 0; i < slots.size(); ++i) {
        // The longest sound that may start at this instant, against the next instant's
        // longest preparation; the week wraps round to its first instant.
        const UtcNanoseconds at = slots[i].at;
        std::size_t longest = slots[i].entry;
        std::size_t j = i;
        for (; j < slots.size() && slots[j].at == at; ++j) {
            if (plan.entries[slots[j].entry].lengthNs > plan.entries[longest].lengthNs) {
                longest = slots[j].entry;
            }
        }
        const std::size_t nextBegin = j == slots.size() ? 0 : j;
        const UtcNanoseconds nextInstant = slots[nextBegin].at;
        const UtcNanoseconds nextAt = nextInstant + (j == slots.size() ? kWeekNs : 0);
        for (std::size_t k = nextBegin; k < slots.size() && slots[k].at == nextInstant; ++k) {
            const PlanEntry& runs = plan.entries[longest];
            const PlanEntry& next = plan.entries[slots[k].entry];
            if (at + runs.lengthNs + preparationNs(next) > nextAt) {
                return fail(plan.path + ":" + std::to_string(runs.line) + ": transmission \"" +
                            runs.name + "\": its sound (" + formatLength(runs.lengthNs) +
                            ") from " + formatWeekTime(at) + " leaves \"" + next.name + "\" at " +
                            formatWeekTime(nextAt) + " less than the " +
                            formatLength(preparationNs(next)) +
                            " it needs before its first sample (hook, dial, sound output)");
            }
        }
        i = j - 1;
    }
    return {};
}

std::string formatSlotTime(UtcNanoseconds at) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    const auto seconds = static_cast<std::time_t>(floorDiv(at, kSecondNs));
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[48];
    std::snprintf(text, sizeof text, "%s %04d-%02d-%02d %02d:%02d:%02d UTC", kDays[utc.tm_wday],
                  utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min,
                  utc.tm_sec);
    return text;
}

std::string formatLength(std::int64_t ns) {
    const std::int64_t tenths = (ns + kSecondNs / 20) / (kSecondNs / 10);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%lld.%lld s", static_cast<long long>(tenths / 10 % 60),
                  static_cast<long long>(tenths % 10));
    const std::int64_t minutes = tenths / 600;
    return minutes > 0 ? std::to_string(minutes) + " min " + seconds : std::string(seconds);
}

} // namespace vesk::plan
