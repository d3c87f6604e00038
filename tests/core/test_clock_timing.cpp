// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone/clock_timing.h"

#include "platform/fake_audio_out.h"
#include "platform/sound_format.h"
#include "tone/pattern.h"
#include "tone/sequencer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using vesk::ClockTiming;
using vesk::UtcNanoseconds;

namespace {

constexpr std::int64_t kNs = 1'000'000'000;
// 2026-12-07 00:00:00 UTC.
constexpr UtcNanoseconds kMidnight = 1796601600 * kNs;

UtcNanoseconds at(int hours, int minutes, double seconds) {
    return kMidnight + (std::int64_t{hours} * 3600 + minutes * 60) * kNs +
           static_cast<std::int64_t>(seconds * 1e9);
}

TEST(ClockBoundary, IsTheFirstMinuteMultiplePlusOffsetAtOrAfterTheTime) {
    struct Row {
        UtcNanoseconds earliest;
        ClockTiming timing;
        UtcNanoseconds expected;
    };
    const Row rows[] = {
        {at(12, 0, 0), {2, 1}, at(12, 0, 1)},
        {at(12, 0, 1), {2, 1}, at(12, 0, 1)},      // on the boundary itself
        {at(12, 0, 1.001), {2, 1}, at(12, 2, 1)},  // just after it
        {at(12, 1, 0), {2, 1}, at(12, 2, 1)},      // odd minute: the next even one
        {at(12, 3, 59), {10, 0}, at(12, 10, 0)},   // grabbers' ten-minute frames
        {at(23, 59, 30), {10, 5}, at(24, 0, 5)},   // over midnight
        {at(12, 0, 0.5), {1, 59}, at(12, 0, 59)},  // the offset may fill the interval
        {at(12, 0, 0), {1440, 0}, at(24, 0, 0)},   // once a day
        {at(12, 0, 0), {60, 1800}, at(12, 30, 0)}, // on the half hour
    };
    for (const Row& row : rows) {
        EXPECT_EQ(vesk::nextClockBoundary(row.earliest, row.timing), row.expected)
            << vesk::formatUtcTime(row.earliest) << " every " << row.timing.everyMinutes;
    }
    EXPECT_EQ(vesk::formatUtcTime(at(14, 2, 1.75)), "14:02:01 UTC");
}

TEST(ClockBoundary, TimingsThatCannotBeKeptAreRefusedWithASentence) {
    for (const ClockTiming bad : {ClockTiming{0, 0}, ClockTiming{7, 0}, ClockTiming{1441, 0},
                                  ClockTiming{-2, 0}, ClockTiming{2, 120}, ClockTiming{2, -1}}) {
        const vesk::Result<> checked = vesk::checkClockTiming(bad);
        ASSERT_FALSE(checked) << bad.everyMinutes << " " << bad.offsetSeconds;
        EXPECT_FALSE(checked.message().empty());
    }
    for (const ClockTiming good : {ClockTiming{1, 0}, ClockTiming{2, 119}, ClockTiming{1440, 0}}) {
        EXPECT_TRUE(vesk::checkClockTiming(good)) << good.everyMinutes;
    }
}

// The fake device, and a wall clock and a steady clock that move with it, 10 ms at a time; a
// test steps the wall clock alone.
struct ClockRig : vesk::platform::DotTimer,
                  vesk::Transmitter,
                  vesk::SequencerView,
                  vesk::WallClock {
    explicit ClockRig(UtcNanoseconds start) : wall(start) {
        sequencer.setWallClock(*this);
        sequencer.setSteadyClock(steady);
        pattern.dotLength = 100, pattern.dotCount = 4, pattern.repeatDots = 10;
        for (std::size_t slot = 0; slot <= 4; ++slot) {
            pattern.toneIndex[slot] = 8.0f, pattern.levelCode[slot] = 1.0f;
        }
    }
    UtcNanoseconds now() const override { return wall; }
    void start(int) override { ++timerStarts; }
    void stop() override {}
    void pttOn() override { keys.push_back(played()); }
    void pttOff() override { releases.push_back(played()); }
    void closed() override { ended = true; }
    void nextTransmission(UtcNanoseconds next) override { planned.push_back(next); }
    void clockStepped(std::int64_t stepNs) override { steps.push_back(stepNs); }

    std::int64_t played() const { return static_cast<std::int64_t>(audio.playedSamples().size()); }

    void turnOn(ClockTiming timing) {
        sequencer.setClockTiming(timing);
        sequencer.start(pattern, 32767, -1);
        firstSampleAt = -1;
    }
    // Plays `ms` ms; remembers when the device's first sample was played.
    void run(int ms) {
        for (int step = 0; step < ms; step += 10) {
            wall += kNs / 100;
            steady.ns += kNs / 100;
            audio.advance(441);
            if (firstSampleAt < 0 && played() > 0) {
                firstSampleAt = wall - played() * kNs / vesk::kSampleRate;
            }
            audio.deliver();
        }
    }
    // When each cycle's first sample was heard: a tone after silence. Its sine starts at
    // phase 0, so the first non-zero sample is the cycle's second.
    std::vector<UtcNanoseconds> cyclesHeard() const {
        std::vector<UtcNanoseconds> starts;
        const auto& sound = audio.playedSamples();
        for (std::size_t i = 1; i < sound.size(); ++i) {
            if (sound[i] != 0 && sound[i - 1] == 0 && (i < 2 || sound[i - 2] == 0)) {
                const auto first = static_cast<std::int64_t>(i) - 1;
                starts.push_back(firstSampleAt + first * kNs / vesk::kSampleRate);
                i += 1000;
            }
        }
        return starts;
    }

    struct Steady : vesk::SteadyClock {
        vesk::SteadyNanoseconds now() const override { return ns; }
        vesk::SteadyNanoseconds ns = 0;
    } steady;
    UtcNanoseconds wall;
    UtcNanoseconds firstSampleAt = -1;
    vesk::platform::FakeAudioOut audio;
    vesk::BeaconPattern pattern = vesk::resetPattern();
    vesk::Sequencer sequencer{audio, *this, *this, *this};
    std::vector<std::int64_t> keys, releases;
    std::vector<UtcNanoseconds> planned;
    std::vector<std::int64_t> steps;
    int timerStarts = 0;
    bool ended = false;
};

void expectNear(UtcNanoseconds heard, UtcNanoseconds boundary, const char* what) {
    EXPECT_LE(std::abs(heard - boundary), kNs / 1000)
        << what << ": heard " << (heard - boundary) / 1000 << " us off";
}

TEST(SequencerOnTheClock, EachCycleStartsOnItsBoundaryAndIsKeyedBeforeIt) {
    ClockRig rig(at(12, 0, 3.5));
    rig.sequencer.setCycleLimit(2);
    rig.turnOn({1, 5});
    EXPECT_EQ(rig.planned.front(), at(12, 0, 5));
    rig.run(63'000);
    const std::vector<UtcNanoseconds> heard = rig.cyclesHeard();
    ASSERT_EQ(heard.size(), 2u);
    expectNear(heard[0], at(12, 0, 5), "first cycle");
    expectNear(heard[1], at(12, 1, 5), "second cycle");
    // Keyed ahead of each cycle, released once its half second has been heard, then the
    // limit ends playback.
    ASSERT_EQ(rig.keys.size(), 2u);
    ASSERT_EQ(rig.releases.size(), 2u);
    const std::int64_t firstSample = (at(12, 0, 5) - rig.firstSampleAt) * 441 / (kNs / 100);
    EXPECT_GE(firstSample - rig.keys[0], 20 * 441 / 10);
    EXPECT_LE(firstSample - rig.keys[0], 500 * 441 / 10);
    EXPECT_GE(rig.releases[0], firstSample + 5 * 4410);
    EXPECT_LE(rig.releases[0], firstSample + 5 * 4410 + 60 * 441 / 10);
    EXPECT_EQ(rig.planned.back(), -1);
    EXPECT_TRUE(rig.ended);
    // The views start with each cycle heard, not at Turn On.
    EXPECT_EQ(rig.timerStarts, 2);
}

TEST(SequencerOnTheClock, ATurnOnTooCloseToTheBoundaryWaitsForTheNextOne) {
    ClockRig rig(at(12, 0, 4.2));
    rig.turnOn({1, 5});
    EXPECT_EQ(rig.planned.front(), at(12, 1, 5));
    rig.run(62'000);
    const std::vector<UtcNanoseconds> heard = rig.cyclesHeard();
    ASSERT_EQ(heard.size(), 1u);
    expectNear(heard[0], at(12, 1, 5), "first cycle");
}

TEST(SequencerOnTheClock, AWallClockStepPastTheBoundaryMovesTheCycleToTheNextOne) {
    ClockRig rig(at(12, 0, 2));
    rig.turnOn({1, 5});
    rig.run(2'000);
    EXPECT_TRUE(rig.keys.empty());
    // The system clock is set 2 s ahead just before the boundary (a time server's step): the
    // cycle is not played 2 s late but at the next boundary on the new time.
    rig.wall += 2 * kNs;
    rig.firstSampleAt += 2 * kNs;
    rig.run(62'000);
    const std::vector<UtcNanoseconds> heard = rig.cyclesHeard();
    ASSERT_EQ(heard.size(), 1u);
    expectNear(heard[0], at(12, 1, 5), "cycle after the step");
    EXPECT_EQ(rig.planned[1], at(12, 1, 5));
    EXPECT_EQ(rig.steps, std::vector<std::int64_t>{2 * kNs});
}

TEST(SequencerOnTheClock, AWallClockStepBackPlansTheBoundaryTheClockNowShows) {
    ClockRig rig(at(12, 0, 3.5));
    rig.turnOn({1, 5});
    rig.run(25'000);
    // Set 50 s back after the 12:00:05 cycle: 12:00:05 comes again 20 s later and is kept,
    // rather than the 12:01:05 planned before the step, 80 s later.
    rig.wall -= 50 * kNs;
    rig.firstSampleAt -= 50 * kNs;
    rig.run(30'000);
    const std::vector<UtcNanoseconds> heard = rig.cyclesHeard();
    ASSERT_EQ(heard.size(), 2u);
    expectNear(heard[1], at(12, 0, 5), "cycle after the step");
    EXPECT_EQ(rig.keys.size(), 2u);
    EXPECT_EQ(rig.steps, std::vector<std::int64_t>{-50 * kNs});
}

// One transmission at a set second (a plan's slot, any second of the day): heard on it, keyed
// ahead of it and released after it, then the output closes; a start that the clock has
// stepped past is not played late but closes the output unkeyed.
TEST(SequencerOnTheClock, ASingleTransmissionSoundsAtItsTimeAndTheOutputThenCloses) {
    ClockRig rig(at(12, 0, 3.1));
    rig.sequencer.setClockTiming({1, 0}); // the set time wins over a clock timing
    rig.sequencer.setStartTime(at(12, 0, 5.37));
    rig.sequencer.start(rig.pattern, 32767, -1);
    EXPECT_EQ(rig.planned.front(), at(12, 0, 5.37));
    rig.run(6'000);
    const std::vector<UtcNanoseconds> heard = rig.cyclesHeard();
    ASSERT_EQ(heard.size(), 1u);
    expectNear(heard[0], at(12, 0, 5.37), "the transmission");
    EXPECT_EQ(rig.keys.size(), 1u);
    EXPECT_EQ(rig.releases.size(), 1u);
    EXPECT_TRUE(rig.ended);
    EXPECT_FALSE(rig.audio.isOpen());
    EXPECT_EQ(rig.planned.back(), -1);

    ClockRig stepped(at(12, 0, 2));
    stepped.sequencer.setStartTime(at(12, 0, 5));
    stepped.sequencer.start(stepped.pattern, 32767, -1);
    stepped.run(1'500);
    stepped.wall += 3 * kNs; // a time server's step past the start
    stepped.firstSampleAt += 3 * kNs;
    stepped.run(3'000);
    EXPECT_TRUE(stepped.keys.empty());
    EXPECT_TRUE(stepped.cyclesHeard().empty());
    EXPECT_TRUE(stepped.ended);
    EXPECT_FALSE(stepped.audio.isOpen());
    EXPECT_TRUE(stepped.audio.contractViolations().empty());
}

} // namespace
