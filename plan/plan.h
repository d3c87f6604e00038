// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/ptt_choice.h"
#include "devices/rig_address.h"
#include "tone/clock_timing.h"
#include "tone/pattern.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A station's day: which patterns it sends, in which slots of the UTC clock, on which dial
// frequencies, in which hours and on which days; read from a plan file (plan_file.h) and
// scheduled by schedule.h.
namespace vesk::plan {

inline constexpr std::int64_t kSecondNs = 1'000'000'000;
inline constexpr std::int64_t kDaySeconds = 86'400;

// A stretch of the UTC day, in seconds since midnight: from `from` up to (not including) `to`;
// one with `from` after `to` runs across midnight. 0..86400 each.
struct HoursWindow {
    std::int32_t from = 0;
    std::int32_t to = 0;
    bool operator==(const HoursWindow&) const = default;
};

// Every day of the week: bit 0 Monday .. bit 6 Sunday.
inline constexpr std::uint8_t kEveryDay = 0x7F;

// One [[transmission]] of a plan.
struct PlanEntry {
    std::string name;
    int line = 0;                   // where its table starts in the plan file
    BeaconPattern pattern;          // read from its file or made at load
    std::string patternName;        // the file as found, or "make: <line>"
    std::int64_t lengthNs = 0;      // its sound, from the first sample to the last
    std::int64_t everySeconds = 0;  // 1..86400, divides the day
    std::int64_t offsetSeconds = 0; // 0..every-1
    std::int64_t frequencyHz = 0;   // the rig's dial; 0: left as it is
    std::string mode;               // the rig's mode (dialModeNames); empty: left as it is
    double percent = 100.0;         // the share of its slots it takes, 0..100
    std::vector<HoursWindow> hours; // empty: all day
    std::uint8_t days = kEveryDay;
    std::vector<std::string> hook; // program and its arguments; empty: none
    std::int64_t hookLimitMs = 10'000;
};

// The [[station]] table: how the station keys and sounds.
struct PlanStation {
    PttChoice ptt;                  // as vesk-cli play takes it
    std::int32_t comport = 0;       // with lines keying; 0: no port
    std::optional<RigAddress> dial; // a rig for the dial alone when keying by the lines
    std::string output;             // the sound output by name; empty: the system default
    double level = 90.0;            // output level position 0..100
    std::string logPath;            // empty: defaultTransmissionLogPath()
};

struct Plan {
    std::string path; // the plan file as given
    PlanStation station;
    std::vector<PlanEntry> entries; // in the file's order, which decides a shared slot
};

// True when the station can set a dial: a rig keyed by CAT, or one named for the dial.
inline bool hasDial(const PlanStation& station) {
    return station.ptt.usesCat() || station.dial.has_value();
}

} // namespace vesk::plan
