// SPDX-License-Identifier: GPL-3.0-or-later
#include "plan/clock_gate.h"
#include "plan/plan_file.h"
#include "plan/preparation.h"
#include "plan/schedule.h"

#include "tests/core/scratch_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace vesk::plan {
namespace {

constexpr std::int64_t kNs = kSecondNs;
// Mon 2026-12-07 00:00:00 UTC.
constexpr UtcNanoseconds kMonday = 1796601600 * kNs;

// A plan of `entries` ([[transmission]] tables, without the header) on a station that keys by
// the lines and names the in-process dummy rig for its dial.
std::string planText(const std::vector<std::string>& entries) {
    std::string text = "[station]\ncomport = 7\nrig = 1\n";
    for (const std::string& entry : entries) {
        text += "\n[[transmission]]\n" + entry;
    }
    return text;
}

TEST(PlanFile, GoodPlansReadAsWritten) {
    ScratchFolder folder;
    writeWholeFile(folder.file("dots.txt"),
                   "50 4 10 1000 20\r\n8 1\r\n8 1\r\n8 1\r\n8 1\r\n8 1\r\n");
    const Result<Plan> plan = readPlan(
        planText({"name = \"file\"\npattern = \"dots.txt\"\nevery = \"20s\"\noffset = \"5s\"\n"
                  "frequency = 14095600\nmode = \"USB\"\npercent = 20.5\nhours = [\"22:00-02:00\","
                  " \"12:00-13:00\"]\ndays = [\"sat-mon\", \"wed\"]\nhook = [\"relay\", \"-v\"]\n"
                  "hook_timeout = \"3s\"\n",
                  "name = \"wspr\"\nmake = \"wspr K1ABC FN42 37 --audio 1400\"\n"
                  "hours = \"03:00-04:00\"\n"}),
        folder.file("p.toml"));
    ASSERT_TRUE(plan.ok()) << plan.message();
    ASSERT_EQ(plan->entries.size(), 2u);
    const PlanEntry& file = plan->entries[0];
    EXPECT_EQ(file.line, 5);
    EXPECT_EQ(file.patternName, folder.file("dots.txt"));
    EXPECT_EQ(file.lengthNs, 250'000'000);
    EXPECT_EQ(file.everySeconds, 20);
    EXPECT_EQ(file.offsetSeconds, 5);
    EXPECT_EQ(file.frequencyHz, 14'095'600);
    EXPECT_EQ(file.mode, "USB");
    EXPECT_EQ(file.percent, 20.5);
    EXPECT_EQ(file.hours, (std::vector<HoursWindow>{{79200, 7200}, {43200, 46800}}));
    EXPECT_EQ(file.days, 0b1100101); // mon, wed, sat, sun
    EXPECT_EQ(file.hook, (std::vector<std::string>{"relay", "-v"}));
    EXPECT_EQ(file.hookLimitMs, 3000);
    // A WSPR pattern keeps the WSPR grid: every 2 minutes, one second past.
    const PlanEntry& wspr = plan->entries[1];
    EXPECT_EQ(wspr.patternName, "make: wspr K1ABC FN42 37 --audio 1400");
    EXPECT_EQ(wspr.everySeconds, 120);
    EXPECT_EQ(wspr.offsetSeconds, 1);
    EXPECT_EQ(wspr.percent, 100.0);
    EXPECT_EQ(plan->station.comport, 7);
    ASSERT_TRUE(plan->station.dial.has_value());
    EXPECT_EQ(plan->station.dial->model, 1);
    EXPECT_EQ(parseDuration("1h1m30s"), 3690);
}

// Each bad plan is refused with the file, the line and the key at fault.
TEST(PlanFile, BadPlansNameTheFileTheLineAndTheKey) {
    ScratchFolder folder;
    const std::string e = "name = \"e\"\nmake = \"cw E --dot 50\"\n";
    const struct {
        std::string text;
        std::string says;
    } cases[] = {
        {planText({e + "every = \"1m\"\ncolour = \"red\"\n"}), "p.toml:9: colour: no such key"},
        {planText({e + "every = \"7x\"\n"}), "p.toml:8: every: \"7x\" is no duration"},
        {planText({e + "every = \"7m\"\n"}), "p.toml:8: every: \"7m\" does not divide the day"},
        {planText({e + "every = 60\n"}), "p.toml:8: every: must be a duration"},
        {planText({e + "every = \"1m\"\noffset = \"1m\"\n"}), "p.toml:9: offset: must be less"},
        {planText({e}), "p.toml:6: name: no every"},
        {planText({"name = \"f\"\npattern = \"none.txt\"\nevery = \"1m\"\n"}),
         "p.toml:7: pattern: Cannot open pattern file"},
        {planText({"name = \"m\"\nmake = \"cw K1ABC!\"\nevery = \"1m\"\n"}),
         "p.toml:7: make: \"!\" has no Morse code"},
        {planText({"name = \"m\"\nmake = \"wspr K1ABC FN42\"\n"}),
         "p.toml:7: make: wspr takes CALLSIGN LOCATOR DBM"},
        {planText({e + "every = \"1m\"\nmode = \"usb\"\n"}), "p.toml:9: mode: \"usb\" is none"},
        {planText({e + "every = \"1m\"\nhours = \"25:00-01:00\"\n"}), "p.toml:9: hours: "},
        {planText({e + "every = \"1m\"\ndays = \"mon-fry\"\n"}), "p.toml:9: days: "},
        {planText({e + "every = \"1m\"\npercent = 101\n"}), "p.toml:9: percent: "},
        {planText({e + "every = \"1m\"\nhook_timeout = \"5s\"\n"}), "p.toml:9: hook_timeout: "},
        {planText({e + "every = \"1m\"\n", e + "every = \"2m\"\n"}),
         "p.toml:11: name: \"e\" names another"},
        {"[[transmission]]\n" + e + "every = \"1m\"\nfrequency = 7040000\n",
         "p.toml:5: frequency: no rig to set it"},
        {"[station]\nptt = \"cat\"\n[[transmission]]\n" + e + "every = \"1m\"\n",
         "p.toml:2: ptt: \"cat\" needs rig"},
        {"[station]\nrig_speed = 9600\n[[transmission]]\n" + e + "every = \"1m\"\n",
         "p.toml:2: rig_speed: needs rig"},
        {"[station]\nlevel = \"loud\"\n", "p.toml:2: level: must be a number"},
        {"[station]\ncomport = 7\n[stations]\n", "p.toml:3: stations: no such table"},
        {"[station]\ncomport = \n", "p.toml:2: "},
        {"[station]\n", "p.toml: no [[transmission]]"},
        // 1.5 s of sound from second 5 of every 8 leaves the next slot 1.5 s, not the 2 s the
        // output's opening needs.
        {planText({e + "every = \"8s\"\n", "name = \"long\"\nmake = \"cw T --dot 500\"\n"
                                           "every = \"8s\"\noffset = \"5s\"\n"}),
         "p.toml:10: transmission \"long\": its sound (1.5 s) from Mon 00:00:05 UTC leaves \"e\" "
         "at Mon 00:00:08 UTC less than the 2.0 s"},
    };
    for (const auto& c : cases) {
        const Result<Plan> plan = readPlan(c.text, folder.file("p.toml"));
        ASSERT_FALSE(plan.ok()) << c.says;
        EXPECT_EQ(plan.message().rfind(folder.file(c.says), 0), 0u) << plan.message();
    }
}

// An entry for the schedule alone: its slots, window, share and sound's length.
PlanEntry entry(std::int64_t every, std::int64_t offset, double percent = 100.0) {
    PlanEntry e;
    e.name = "e" + std::to_string(every) + "+" + std::to_string(offset);
    e.everySeconds = every;
    e.offsetSeconds = offset;
    e.percent = percent;
    e.lengthNs = kNs / 2;
    return e;
}

// The transmissions of `plan` in [from, to), counted by entry.
std::map<std::size_t, std::vector<UtcNanoseconds>> sent(const Plan& plan, UtcNanoseconds from,
                                                        UtcNanoseconds to, std::uint64_t seed) {
    std::map<std::size_t, std::vector<UtcNanoseconds>> byEntry;
    for (std::optional<Slot> s = nextTransmission(plan, from, seed); s && s->at < to;
         s = nextTransmission(plan, s->at + 1, seed)) {
        byEntry[s->entry].push_back(s->at);
    }
    return byEntry;
}

// A whole Monday and Saturday on the schedule: slots on the grid, a window across midnight
// taken from its first second up to (not including) its last, days kept.
TEST(Schedule, WholeDaysKeepEachEntrysSlotsHoursAndDays) {
    Plan plan;
    plan.entries = {entry(600, 0), entry(20, 5)};
    plan.entries[0].hours = {{22 * 3600, 2 * 3600}};
    plan.entries[1].days = 0b0011111; // mon-fri
    const auto monday = sent(plan, kMonday, kMonday + kDaySeconds * kNs, 1);
    ASSERT_EQ(monday.at(0).size(), 24u);
    EXPECT_EQ(monday.at(0).front(), kMonday);
    EXPECT_EQ(monday.at(0)[11], kMonday + (2 * 3600 - 600) * kNs);
    EXPECT_EQ(monday.at(0)[12], kMonday + 22 * 3600 * kNs);
    EXPECT_EQ(monday.at(1).size(), 4320u);
    EXPECT_EQ(monday.at(1).front(), kMonday + 5 * kNs);
    for (std::size_t i = 1; i < monday.at(1).size(); ++i) {
        ASSERT_EQ(monday.at(1)[i] - monday.at(1)[i - 1], 20 * kNs);
    }
    const UtcNanoseconds saturday = kMonday + 5 * kDaySeconds * kNs;
    const auto weekend = sent(plan, saturday, saturday + kDaySeconds * kNs, 1);
    EXPECT_EQ(weekend.count(1), 0u);
    EXPECT_EQ(weekend.at(0).size(), 24u);
}

// percent = 20 takes 20 % of 10 000 slots, the same ones for the same seed; on a shared slot
// the first listed entry whose draw sends wins, and the second takes what it leaves.
TEST(Schedule, APercentDrawTakesItsShareAndTheFirstListedWinsASharedSlot) {
    Plan plan;
    plan.entries = {entry(120, 1, 20.0)};
    const UtcNanoseconds end = kMonday + 10'000 * 120 * kNs;
    for (const std::uint64_t seed : {1u, 2u, 12345u}) {
        const auto taken = sent(plan, kMonday, end, seed);
        EXPECT_NEAR(static_cast<double>(taken.at(0).size()), 2000.0, 100.0) << seed;
        EXPECT_EQ(sent(plan, kMonday, end, seed), taken);
    }
    EXPECT_NE(sent(plan, kMonday, end, 1), sent(plan, kMonday, end, 2));

    plan.entries.push_back(entry(120, 1, 100.0));
    const auto shared = sent(plan, kMonday, end, 1);
    EXPECT_EQ(shared.at(0), sent(Plan{{}, {}, {plan.entries[0]}}, kMonday, end, 1).at(0));
    EXPECT_EQ(shared.at(0).size() + shared.at(1).size(), 10'000u);
    plan.entries[0].percent = 100.0;
    EXPECT_EQ(sent(plan, kMonday, end, 1).count(1), 0u);
}

TEST(ClockGate, HoldsWhileTheClockIsUnsynchronisedAndSaysSoOnceEachWay) {
    ClockGate gate;
    const platform::ClockSyncReading good{false, 5'000, ""};
    const platform::ClockSyncReading unsynced{true, 5'000, ""};
    const platform::ClockSyncReading vague{false, 250'000, ""};
    std::vector<std::string> said;
    std::vector<bool> open;
    for (const auto& reading : {good, unsynced, unsynced, vague, good, good, vague}) {
        said.push_back(gate.update(reading));
        open.push_back(gate.open());
    }
    EXPECT_EQ(open, (std::vector<bool>{true, false, false, false, true, true, false}));
    EXPECT_TRUE(said[0].empty() && said[2].empty() && said[3].empty() && said[5].empty());
    EXPECT_NE(said[1].find("unsynchronised"), std::string::npos) << said[1];
    EXPECT_NE(said[4].find("synchronised again"), std::string::npos) << said[4];
    EXPECT_NE(said[6].find("estimated error is 250 ms"), std::string::npos) << said[6];
}

// A dial that keeps what it is told, reading back `skew` Hz off.
struct FakeDial : Dial {
    Result<> setFrequency(std::int64_t hertz) override {
        calls.push_back("freq " + std::to_string(hertz));
        hz = hertz;
        return {};
    }
    Result<std::int64_t> frequency() override { return hz + skew; }
    Result<> setMode(const std::string& m) override {
        calls.push_back("mode " + m);
        mode_ = m;
        return {};
    }
    Result<std::string> mode() override { return mode_; }
    std::vector<std::string> calls;
    std::int64_t hz = 0, skew = 0;
    std::string mode_;
};

// The hook runs first with the entry's name and frequency; one that fails leaves the dial
// alone; a dial that reads back another frequency fails the slot.
TEST(Preparation, TheHookRunsFirstAndAFailureOrAMismatchSkipsTheSlot) {
    PlanEntry e = entry(120, 1);
    e.name = "wspr-20m";
    e.frequencyHz = 14'095'600;
    e.mode = "USB";
    e.hook = {"/usr/local/bin/band", "--relay"};
    std::vector<std::string> ran;
    bool hookFails = false;
    const HookRunner runner = [&](const std::vector<std::string>& argv, std::int64_t limit) {
        ran = argv;
        EXPECT_EQ(limit, 10'000);
        return hookFails ? Result<>(fail("band exited with status 2: busy")) : Result<>();
    };
    FakeDial dial;
    EXPECT_TRUE(prepareTransmission(e, &dial, runner).ok());
    EXPECT_EQ(ran,
              (std::vector<std::string>{"/usr/local/bin/band", "--relay", "wspr-20m", "14095600"}));
    EXPECT_EQ(dial.calls, (std::vector<std::string>{"freq 14095600", "mode USB"}));
    hookFails = true;
    dial.calls.clear();
    EXPECT_EQ(prepareTransmission(e, &dial, runner).message(),
              "hook: band exited with status 2: busy");
    EXPECT_TRUE(dial.calls.empty());
    hookFails = false;
    dial.skew = 10;
    EXPECT_EQ(prepareTransmission(e, &dial, runner).message(),
              "dial: the rig reads back 14095610 Hz, not 14095600 Hz");
    EXPECT_EQ(prepareTransmission(e, nullptr, runner).message(), "dial: no rig to set it");
}

} // namespace
} // namespace vesk::plan
