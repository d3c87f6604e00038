// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/beacon_session.h"

#include "platform/fake_audio_out.h"
#include "tests/core/fake_keyer.h"
#include "tests/core/scratch_folder.h"
#include "tone/pattern.h"
#include "tone/pattern_stream.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using vesk::BeaconPattern;
using vesk::BeaconSession;
using vesk::CycleProgress;
using vesk::kKeyLeadSamples;
using vesk::kLeadInSamples;
using vesk::PlaybackState;
using vesk::Result;
using vesk::SessionProblem;
using vesk::platform::FakeAudioOut;

namespace {

constexpr std::int64_t kMs = 441; // samples in 10 ms

// A key or a release, and how far the device had played when it happened.
struct Keying {
    bool keyed = false;
    std::int64_t played = 0;
};

// The dot timer: it ticks when the test says so.
struct FakeTimer : vesk::platform::DotTimer {
    explicit FakeTimer(std::function<void()> onTick) : tick(std::move(onTick)) {}
    void start(int milliseconds) override { running = true, period = milliseconds; }
    void stop() override { running = false; }
    std::function<void()> tick;
    bool running = false;
    int period = 0;
};

// The steady clock, moved by the test, and a wall clock that moves with it from noon.
struct FakeSteadyClock : vesk::SteadyClock {
    vesk::SteadyNanoseconds now() const override { return ms * 1'000'000; }
    std::int64_t ms = 0;
};
struct FakeWallClock : vesk::WallClock {
    explicit FakeWallClock(const FakeSteadyClock& clock) : steady(clock) {}
    vesk::UtcNanoseconds now() const override {
        return 1'796'644'800'000'000'000 + steady.now(); // 2026-12-07T12:00:00Z
    }
    const FakeSteadyClock& steady;
};

// What the views are told.
struct Recorder : vesk::SessionView {
    void playingChanged(bool on) override { playing = on; }
    void parametersLocked(bool locked) override { controlsEnabled = !locked; }
    void cycleRestarted() override { ++redraws; }
    void showProgress(const CycleProgress& p) override { progress.push_back(p); }
    void renderProgress(int blocks) override { renderBlocks.push_back(blocks); }
    void renderFinished() override { ++renderEnds; }
    void keyingChanged(bool on) override {
        keyed = on;
        if (on) {
            ++keyings;
        }
        // Only changes count: a release of lines already released keys nothing.
        if (events.empty() ? on : events.back().keyed != on) {
            events.push_back({on, played ? played() : 0});
        }
    }
    void cyclePlayed(long cycle, std::int64_t underruns) override {
        cycles.emplace_back(cycle, underruns);
    }
    void transmissionLogged(const vesk::TransmissionRecord& record) override {
        records.push_back(record);
    }
    void problem(SessionProblem kind, const std::string& message) override {
        problems.emplace_back(kind, message);
    }
    void ended() override { ++windowEnds; }
    void waitingChanged(vesk::BeaconWait what, const std::string& reason, bool still) override {
        waits.push_back({what, reason, still});
    }
    void keyerChanged(bool isMissing, const std::string&) override { missing = isMissing; }

    int count(SessionProblem kind) const {
        return static_cast<int>(std::count_if(problems.begin(), problems.end(),
                                              [kind](const auto& p) { return p.first == kind; }));
    }

    struct Wait {
        vesk::BeaconWait what;
        std::string reason;
        bool still;
    };
    std::function<std::int64_t()> played;
    bool keyed = false, controlsEnabled = true, playing = false, missing = false;
    std::vector<Wait> waits;
    int keyings = 0, redraws = 0, renderEnds = 0, windowEnds = 0;
    std::vector<int> renderBlocks;
    std::vector<CycleProgress> progress;
    std::vector<Keying> events;
    std::vector<std::pair<long, std::int64_t>> cycles;
    std::vector<vesk::TransmissionRecord> records;
    std::vector<std::pair<SessionProblem, std::string>> problems;
};

// Every tone row in turn at full level, so that no stretch of the table is silent.
BeaconPattern painted(BeaconPattern pattern, std::int32_t dotLength, std::int32_t dotCount,
                      std::int32_t repeatDots) {
    pattern.dotLength = dotLength, pattern.dotCount = dotCount, pattern.repeatDots = repeatDots;
    for (int slot = 0; slot <= std::min(dotCount, 600); ++slot) {
        pattern.toneIndex[static_cast<std::size_t>(slot)] = static_cast<float>(1 + slot % 16);
        pattern.levelCode[static_cast<std::size_t>(slot)] = 1.0f;
    }
    return pattern;
}

bool allZero(auto from, auto to) {
    return std::all_of(from, to, [](std::int16_t s) { return s == 0; });
}

class SessionTest : public ::testing::Test {
protected:
    SessionTest() {
        EXPECT_TRUE(session->openKeyer({}, 3).ok());
        rec.played = [this] {
            return static_cast<std::int64_t>(audio.playedSamples().size());
        };
        session->addView(rec);
    }
    void TearDown() override {
        for (const std::string& breach : audio.contractViolations()) {
            ADD_FAILURE() << "audio contract: " << breach;
        }
        for (const std::string& breach : keyers->breaches) {
            ADD_FAILURE() << "keyer contract: " << breach;
        }
    }
    // The dot timer is the first timer the session makes, its own the second.
    std::unique_ptr<BeaconSession> makeSession() {
        return std::make_unique<BeaconSession>(
            std::move(ownedAudio_),
            [this](std::function<void()> tick) {
                auto made = std::make_unique<FakeTimer>(std::move(tick));
                (timer_ == nullptr ? timer_ : sessionTimer_) = made.get();
                return made;
            },
            std::make_unique<vesk::Ptt>(vesk::fakeKeyerOpener(keyers)), wall, steady);
    }

    // The window's Turn On/Off button.
    void toggle() {
        if (session->playing()) {
            session->turnOff();
        } else {
            session->turnOn(pattern, 32767, 3, "beacon.txt");
        }
    }
    // Turn On/Off, then the event loop runs once.
    void press() { toggle(), audio.deliver(); }

    // Lets `ms` milliseconds pass, with the event loop running every 10 ms: the output plays
    // (unless `stalled`), and the session's own timer ticks every 250 ms while it runs.
    void passTime(int ms, bool stalled = false) {
        for (int done = 0; done < ms; done += 10) {
            elapsedMs += std::min(10, ms - done);
            steady.ms = elapsedMs;
            const std::int64_t target = elapsedMs * vesk::kSampleRate / 1000;
            if (!stalled) {
                audio.advance(target - advancedSamples);
            }
            advancedSamples = target;
            audio.deliver();
            for (; elapsedMs - sessionTickedMs >= 250; sessionTickedMs += 250) {
                if (sessionTimer_->running) {
                    sessionTimer_->tick();
                }
            }
        }
    }

    // Runs `count` dot times: the sound plays for a dot, then the timer ticks if it runs.
    void runTicks(int count) {
        for (int i = 0; i < count; ++i) {
            passTime(timer.period > 0 ? timer.period : pattern.dotLength);
            if (!timer.running) {
                continue;
            }
            const int redrawsBefore = rec.redraws;
            timer.tick();
            ++ticks;
            if (rec.redraws > redrawsBefore) { // the tick sent the sound back to sample 0
                restartTicks.push_back(ticks);
            }
        }
    }

    // Where each cycle starts in the written stream: after the lead-in, then at each restart.
    // The first lasts repeatDots dots (one for a repeat of 0), each later one repeatDots + 1,
    // to the sample: dots x 44.1 x dotLength, ties to even.
    std::vector<std::int64_t> cycleStarts() const {
        const auto samples = [this](std::int64_t dots) {
            const std::int64_t scaled = dots * vesk::kSampleRate * pattern.dotLength;
            const std::int64_t whole = scaled / 1000, rest = scaled % 1000;
            return whole + (rest > 500 || (rest == 500 && whole % 2 == 1) ? 1 : 0);
        };
        const auto written = static_cast<std::int64_t>(audio.writtenSamples().size());
        std::vector<std::int64_t> starts{kLeadInSamples};
        std::int64_t next = kLeadInSamples + samples(std::max(pattern.repeatDots, 1));
        for (; next < written; next += samples(std::int64_t{pattern.repeatDots} + 1)) {
            starts.push_back(next);
        }
        return starts;
    }

    // The keyer's last key or release, "" before any.
    std::string lastKeying() const {
        for (auto it = keyers->events.rbegin(); it != keyers->events.rend(); ++it) {
            if (*it == "key" || it->rfind("release", 0) == 0) {
                return *it;
            }
        }
        return "";
    }

    int releases() const {
        return static_cast<int>(std::count_if(rec.events.begin(), rec.events.end(),
                                              [](const Keying& k) { return !k.keyed; }));
    }

    // The transmitter follows the played samples: keyed 20..500 ms before a cycle's first
    // sample is heard, released no earlier than its pattern's last sample and at most 60 ms
    // after it, and no key or release lasts less than one dot.
    void expectKeyingFollowsTheSound() const {
        const std::int64_t n = session->sound().sampleCount();
        const std::int64_t dot = std::int64_t{pattern.dotLength} * vesk::kSampleRate / 1000;
        const std::vector<std::int64_t> starts = cycleStarts();
        for (std::size_t i = 0; i < rec.events.size(); ++i) {
            const Keying& k = rec.events[i];
            if (i > 0) {
                EXPECT_GE(k.played - rec.events[i - 1].played, dot) << "event " << i;
            }
            // The cycle heard at that moment, and the next one.
            const auto next = std::upper_bound(starts.begin(), starts.end(), k.played);
            if (k.keyed) {
                ASSERT_NE(next, starts.end()) << "key " << i << " for no cycle";
                EXPECT_GE(*next - k.played, 20 * kMs / 10) << "key " << i;
                EXPECT_LE(*next - k.played, 500 * kMs / 10) << "key " << i;
            } else {
                ASSERT_NE(next, starts.begin()) << "release " << i << " before any cycle";
                std::int64_t end = *(next - 1) + n;
                if (next != starts.end()) {
                    end = std::min(end, *next);
                }
                EXPECT_GE(k.played, end) << "release " << i;
                EXPECT_LE(k.played - end, 60 * kMs / 10) << "release " << i;
            }
        }
        // Every cycle heard was keyed at its first sample.
        for (const std::int64_t start : starts) {
            if (start > static_cast<std::int64_t>(audio.playedSamples().size())) {
                break;
            }
            const auto last = std::find_if(rec.events.rbegin(), rec.events.rend(),
                                           [start](const Keying& k) { return k.played <= start; });
            EXPECT_TRUE(last != rec.events.rend() && last->keyed) << "cycle at " << start;
        }
    }

    // The lead-in is silent; from each cycle start the stream is the table from sample 0,
    // then silence up to the next restart.
    void expectStreamIsTheTablePerCycle() const {
        const auto& stream = audio.writtenSamples();
        std::vector<std::int64_t> starts = cycleStarts();
        EXPECT_TRUE(allZero(stream.begin(), stream.begin() + kLeadInSamples));
        starts.push_back(static_cast<std::int64_t>(stream.size()));
        std::vector<std::int16_t> table(static_cast<std::size_t>(session->sound().sampleCount()));
        session->sound().copySamples(0, table.data(), static_cast<int>(table.size()));
        for (std::size_t c = 0; c + 1 < starts.size(); ++c) {
            const auto from = stream.begin() + starts[c], to = stream.begin() + starts[c + 1];
            const auto tableEnd =
                from + std::min(to - from, static_cast<std::ptrdiff_t>(table.size()));
            EXPECT_TRUE(std::equal(from, tableEnd, table.begin())) << "cycle " << c;
            EXPECT_TRUE(allZero(tableEnd, to)) << "cycle " << c;
        }
    }

    // What every way of ending playback leaves behind.
    void expectAllStopped() const {
        EXPECT_FALSE(rec.keyed || timer.running || session->playing() || audio.isOpen());
        EXPECT_TRUE(rec.controlsEnabled && !rec.playing);
        EXPECT_EQ(session->state(), PlaybackState::Idle);
        EXPECT_NE(lastKeying(), "key") << "the keyer is released";
    }

    // Made in this order: the session takes the output and the port, and makes the timer.
    std::unique_ptr<FakeAudioOut> ownedAudio_ = std::make_unique<FakeAudioOut>();
    FakeAudioOut& audio = *ownedAudio_;
    std::shared_ptr<vesk::FakeKeyerLog> keyers = std::make_shared<vesk::FakeKeyerLog>();
    FakeSteadyClock steady;
    FakeWallClock wall{steady};
    FakeTimer* timer_ = nullptr;
    FakeTimer* sessionTimer_ = nullptr;
    std::unique_ptr<BeaconSession> session = makeSession();
    FakeTimer& timer = *timer_;
    Recorder rec;
    BeaconPattern pattern = painted(vesk::resetPattern(), 100, 100, 200);
    std::int64_t elapsedMs = 0, advancedSamples = 0, sessionTickedMs = 0;
    int ticks = 0;                 // dot timer ticks so far
    std::vector<int> restartTicks; // tick numbers, from 1
};

struct Scenario {
    const char* name;
    bool startValues; // else the Reset values
    std::int32_t dotLength, dotCount, repeatDots;
    std::int64_t deviceBuffer; // samples the device claims to buffer
    int tickCount;
    std::vector<int> restarts;
    int keyings, releases;
};
void PrintTo(const Scenario& s, std::ostream* out) {
    *out << s.name;
}

// 125 ms dots are 5512.5 samples, so ticks and blocks never line up. A device buffer of
// 11025 samples is the real output's 250 ms.
const Scenario kScenarios[] = {
    {"StartValues", true, 100, 600, 600, 0, 1812, {600, 1201, 1802}, 1, 0},
    {"ResetValues", false, 100, 100, 200, 0, 401, {200, 401}, 2, 2},
    {"ResetValuesDeviceBuffer", false, 100, 100, 200, 11025, 401, {200, 401}, 2, 2},
    {"RepeatShorterThanThePattern", false, 100, 100, 50, 0, 160, {50, 101, 152}, 1, 0},
    {"FullPatternRepeat700", true, 100, 600, 700, 0, 1401, {700, 1401}, 2, 2},
    {"RepeatZero", false, 100, 10, 0, 0, 4, {1, 2, 3, 4}, 1, 0},
    {"OddDotLength", false, 125, 2, 60, 0, 59, {}, 1, 1},
    // A silence of one or two dots is shorter than a dot once the key leads the next cycle.
    {"OneSilentDot", false, 100, 10, 11, 11025, 60, {11, 23, 35, 47, 59}, 1, 0},
    {"TwoSilentDots", false, 100, 10, 12, 0, 60, {12, 25, 38, 51}, 1, 0},
    // The first cycle is a dot shorter: there two silent dots are too few.
    {"FourSilentDots", false, 100, 10, 14, 11025, 61, {14, 29, 44, 59}, 4, 3},
    {"OneSilentSecondDot", false, 1000, 2, 3, 0, 13, {3, 7, 11}, 1, 0},
    {"TwoSilentSecondDots", false, 1000, 2, 4, 11025, 13, {4, 9}, 2, 2}};

class KeyingScenario : public SessionTest, public ::testing::WithParamInterface<Scenario> {};
INSTANTIATE_TEST_SUITE_P(Session, KeyingScenario, ::testing::ValuesIn(kScenarios),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_P(KeyingScenario, TheTransmitterFollowsThePlayedSamplesAndEachCycleIsTheTable) {
    const Scenario& s = GetParam();
    pattern = painted(s.startValues ? vesk::startPattern() : vesk::resetPattern(), s.dotLength,
                      s.dotCount, s.repeatDots);
    audio.setLatencySamples(s.deviceBuffer);
    press();
    runTicks(s.tickCount);
    EXPECT_EQ(restartTicks, s.restarts);
    EXPECT_EQ(rec.keyings, s.keyings);

    EXPECT_EQ(releases(), s.releases);
    expectKeyingFollowsTheSound();
    expectStreamIsTheTablePerCycle();
    EXPECT_EQ(audio.underrunSamples(), 0);
    // The 64 blocks stay queued ahead of the device's own buffer.
    EXPECT_EQ(audio.queuedBlocks(), 64 + (s.deviceBuffer + 127) / 128);
}

TEST_F(SessionTest, ACycleLimitReleasesAfterTheLastCycleIsHeardAndKeysNoMore) {
    pattern = painted(pattern, 100, 10, 20);
    audio.setLatencySamples(11025);
    session->setCycleLimit(2);
    press();
    runTicks(60);
    EXPECT_EQ(restartTicks, std::vector<int>{20});
    EXPECT_EQ(rec.keyings, 2);
    EXPECT_EQ(releases(), 2);
    expectKeyingFollowsTheSound();
    EXPECT_EQ(rec.windowEnds, 1) << "ends as a close request once the queue has played";
    EXPECT_FALSE(rec.keyed || session->playing() || timer.running);
    EXPECT_EQ(rec.cycles, (std::vector<std::pair<long, std::int64_t>>{{1, 0}, {2, 0}}));
}

TEST_F(SessionTest, GapsInTheSoundAreReportedWithTheCycleTheyHappenedIn) {
    pattern = painted(pattern, 100, 10, 20);
    press();
    runTicks(21);
    // The owner's thread stalls for 300 ms: the device plays the queue dry.
    audio.advance(300 * kMs / 10);
    advancedSamples += 300 * kMs / 10;
    elapsedMs += 300;
    runTicks(62);
    // The gap is counted when the queue is refilled, so it may fall to the cycle before the
    // one it was heard in; the cycles after it are clean.
    ASSERT_EQ(rec.cycles.size(), 3u);
    EXPECT_EQ(rec.cycles[0].second + rec.cycles[1].second, 1);
    EXPECT_EQ(rec.cycles[2], (std::pair<long, std::int64_t>{3, 0}));
}

TEST_F(SessionTest, TurnOnFillsTheRingOnceOpenedAndTheViewsFollowTheCycle) {
    toggle();
    EXPECT_EQ(session->state(), PlaybackState::Opening);
    EXPECT_TRUE(!rec.keyed && timer.running && !rec.controlsEnabled && timer.period == 100)
        << "keyed only once the device plays";
    EXPECT_FALSE(rec.playing) << "the button waits for the device";
    EXPECT_TRUE(audio.lastDevice() == 3 && audio.lastFormat().avgBytesPerSec == 88200u);
    EXPECT_EQ(rec.renderBlocks, (std::vector<int>{10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}));
    audio.deliver();
    EXPECT_TRUE(session->state() == PlaybackState::Playing && rec.playing);
    EXPECT_EQ(audio.writtenSamples().size(), 64u * 128u);

    runTicks(201);
    // In dots of the 200-dot cycle: the pattern's 100 dots sound, then the silent rest.
    const std::pair<int, CycleProgress> marks[] = {
        {1, {1, 0, 2, 200, true}},          {99, {99, 0, 100, 200, true}},
        {100, {100, 100, 101, 200, false}}, {101, {-1, 100, 102, 200, false}},
        {200, {-1, 100, 201, 200, false}},  {201, {0, 0, 1, 200, true}}};
    for (const auto& [tick, mark] : marks) {
        EXPECT_EQ(rec.progress[static_cast<std::size_t>(tick - 1)], mark) << "tick " << tick;
    }
    EXPECT_EQ(rec.redraws, 2) << "Turn On and the restart";
    // A repeat of 0 fills the whole cycle with one dot, sounding while a dot sounds.
    for (const auto& [dotCount, sounding] : {std::pair{10, true}, {0, false}}) {
        pattern = painted(pattern, 100, dotCount, 0);
        ASSERT_TRUE(session->loadPattern(pattern, 32767));
        runTicks(1);
        EXPECT_EQ(rec.progress.back().barTo, rec.progress.back().cycleDots);
        EXPECT_EQ(rec.progress.back().sounding, sounding);
    }
}

// Turn Off, then a close request, before the device is ready: it closes unplayed and unkeyed;
// the close request ends the window once the device has closed.
TEST_F(SessionTest, EndingBeforeTheDeviceIsReadyClosesWithoutPlayingOrKeying) {
    EXPECT_FALSE(session->close()) << "idle: the caller ends the window";
    toggle();
    toggle();
    EXPECT_EQ(session->state(), PlaybackState::Draining);
    audio.deliver();
    expectAllStopped();
    toggle();
    EXPECT_TRUE(session->close());
    EXPECT_EQ(rec.windowEnds, 0);
    audio.deliver();
    EXPECT_EQ(rec.windowEnds, 1);
    EXPECT_FALSE(session->playing() || audio.isOpen());
    EXPECT_TRUE(audio.writtenSamples().empty());
    EXPECT_EQ(rec.keyings, 0);
}

TEST_F(SessionTest, TurnOffReleasesAtOnceAndTheDeviceClosesOnlyWhenTheQueueHasPlayed) {
    press();
    runTicks(30);
    const std::size_t writtenBefore = audio.writtenSamples().size();
    press();
    EXPECT_FALSE(rec.keyed || timer.running || !rec.controlsEnabled || rec.playing);
    EXPECT_TRUE(session->state() == PlaybackState::Draining && session->playing());
    press(); // while draining: stops again, renders and opens nothing
    EXPECT_TRUE(rec.renderEnds == 1 && audio.openAttempts() == 1);
    EXPECT_EQ(session->state(), PlaybackState::Draining);

    passTime(60);
    EXPECT_GT(audio.closeAttempts(), 1);
    EXPECT_TRUE(session->playing()) << "blocks are still queued";
    passTime(200);
    expectAllStopped();
    EXPECT_EQ(audio.writtenSamples().size(), writtenBefore) << "nothing refilled after Turn Off";
    EXPECT_EQ(audio.playedSamples().size(), writtenBefore) << "the queue played out";
    EXPECT_EQ(rec.windowEnds, 0);
    press();
    EXPECT_EQ(session->state(), PlaybackState::Playing);
}

// The named operations do nothing out of turn: the tool stops and closes whatever the state.
TEST_F(SessionTest, StartAndStopOutOfTurnChangeNothing) {
    session->turnOff();
    EXPECT_TRUE(audio.openAttempts() == 0 && rec.redraws == 0);
    press();
    runTicks(3);
    session->turnOn(pattern, 32767, 5, "beacon.txt");
    EXPECT_TRUE(rec.renderEnds == 1 && audio.openAttempts() == 1 && rec.keyed);
    EXPECT_EQ(session->state(), PlaybackState::Playing);
}

TEST_F(SessionTest, ACloseWhilePlayingReleasesAtOnceAndWaitsForTheQueue) {
    press();
    runTicks(30);
    const std::size_t writtenBefore = audio.writtenSamples().size();
    EXPECT_TRUE(session->close());
    EXPECT_EQ(session->state(), PlaybackState::Closing);
    EXPECT_TRUE(timer.running && !rec.keyed) << "the close request releases at once";
    runTicks(1);
    EXPECT_EQ(rec.windowEnds, 0) << "186 ms of sound are still queued";
    EXPECT_TRUE(session->playing());
    runTicks(1);
    EXPECT_EQ(rec.windowEnds, 1);
    EXPECT_FALSE(session->playing() || timer.running);
    EXPECT_EQ(audio.playedSamples(), audio.writtenSamples());
    EXPECT_EQ(audio.writtenSamples().size(), writtenBefore);
}

TEST_F(SessionTest, ARefusedRenderIsReportedAndOpensNothing) {
    pattern = painted(pattern, 0, 600, 600);
    press();
    ASSERT_EQ(rec.count(SessionProblem::RenderRefused), 1);
    EXPECT_FALSE(rec.problems[0].second.empty());
    EXPECT_EQ(rec.renderEnds, 1);
    EXPECT_EQ(audio.openAttempts(), 0);
    expectAllStopped();
}

TEST_F(SessionTest, AFailedOpenIsReportedOnceAndLeavesNothingRunning) {
    audio.setOpenFailure("Device unavailable");
    session->turnOn(pattern, 32767, 7, "beacon.txt");
    EXPECT_EQ(audio.lastDevice(), 7);
    EXPECT_EQ(rec.count(SessionProblem::OpenFailed), 1);
    EXPECT_EQ(rec.problems[0].second, "sound output 7: Device unavailable");
    EXPECT_EQ(rec.keyings, 0);
    expectAllStopped();
    runTicks(5);
    EXPECT_EQ(ticks, 0);

    audio.setOpenFailure({});
    press();
    EXPECT_EQ(session->state(), PlaybackState::Playing);
    runTicks(2);
    EXPECT_TRUE(rec.keyed);
    EXPECT_EQ(rec.count(SessionProblem::OpenFailed), 1);
}

class DeviceLoss : public SessionTest {
protected:
    void loseDevice() { audio.loseDevice(), audio.deliver(); }
};

// The output goes away mid-cycle: released at once, the beacon waits (Turn Off still offered,
// the parameters still held), tries again every 2 s, and plays on from a new cycle once it
// opens, the cycle count going on.
TEST_F(DeviceLoss, ReleasesAtOnceWaitsAndPlaysOnWhenTheOutputReturns) {
    vesk::ScratchFolder folder;
    ASSERT_TRUE(session->openLog(folder.file("log")).ok());
    press();
    runTicks(250);
    ASSERT_TRUE(rec.keyed);
    audio.setOpenFailure("Connection refused");
    loseDevice();
    EXPECT_FALSE(rec.keyed) << "released at once";
    EXPECT_EQ(lastKeying(), "release");
    EXPECT_EQ(session->waiting(), vesk::BeaconWait::SoundOutput);
    EXPECT_TRUE(rec.playing && !rec.controlsEnabled) << "still on";
    const int keyingsAtLoss = rec.keyings;
    const int opensAtLoss = audio.openAttempts();
    passTime(9000);
    EXPECT_EQ(audio.openAttempts() - opensAtLoss, 4) << "a try every 2 s";
    EXPECT_EQ(rec.keyings, keyingsAtLoss) << "nothing keyed without sound";
    ASSERT_EQ(rec.waits.size(), 1u);
    EXPECT_EQ(rec.waits[0].what, vesk::BeaconWait::SoundOutput);

    audio.setOpenFailure({});
    passTime(2000);
    EXPECT_EQ(session->waiting(), vesk::BeaconWait::None);
    EXPECT_EQ(session->state(), PlaybackState::Playing);
    runTicks(5);
    EXPECT_TRUE(rec.keyed) << "keyed for the next cycle";
    runTicks(200);
    ASSERT_EQ(rec.cycles.size(), 2u);
    EXPECT_EQ(rec.cycles.back().first, 2) << "the cycle cut short is not counted";
    const std::string log = vesk::readWholeFile(folder.file("log"));
    EXPECT_NE(log.find("\tevent\twaiting for the sound output: "), std::string::npos) << log;
    EXPECT_NE(log.find("\tevent\tthe sound output is back: playing again"), std::string::npos)
        << log;
    EXPECT_TRUE(rec.problems.empty()) << "a wait is no problem to click away";
}

TEST_F(DeviceLoss, AWaitEndsWithTurnOffAndAWindowWaitingToCloseEnds) {
    press();
    runTicks(3);
    audio.closeByItself(); // an output that ends the stream unasked is lost as well
    audio.deliver();
    ASSERT_EQ(session->waiting(), vesk::BeaconWait::SoundOutput);
    EXPECT_FALSE(session->close()) << "nothing queued: the owner may end at once";
    expectAllStopped();
    EXPECT_TRUE(rec.waits.back().what == vesk::BeaconWait::None);
    const int opens = audio.openAttempts();
    passTime(5000);
    EXPECT_EQ(audio.openAttempts(), opens) << "no more tries";

    press();
    EXPECT_TRUE(session->close());
    loseDevice();
    EXPECT_EQ(rec.windowEnds, 1) << "a close under way ends rather than wait";
    EXPECT_EQ(session->waiting(), vesk::BeaconWait::None);
}

// A keying the keyer refuses (a port gone, a rig gone): released, the beacon stops, closes the
// keyer and tries it again after 1, 2, 4 ... s; once it opens it plays on. Nothing is keyed or
// logged meanwhile, and no box waits for a click.
TEST_F(DeviceLoss, ALostKeyerIsOpenedAgainAndTheBeaconPlaysOn) {
    pattern = painted(pattern, 50, 10, 20);
    press();
    runTicks(4);
    ASSERT_TRUE(rec.keyed);
    keyers->refuseKeying = true;
    runTicks(21);
    EXPECT_FALSE(rec.keyed) << "a refused keying never shows keyed";
    ASSERT_EQ(session->waiting(), vesk::BeaconWait::Keyer);
    EXPECT_EQ(rec.waits.back().reason, "DTR+RTS on COM 3: cannot key: refused");
    EXPECT_TRUE(rec.missing && rec.playing);
    EXPECT_TRUE(rec.problems.empty());
    keyers->refuseKeying = false;
    keyers->refuseOpen = "COM3: no such device";
    keyers->events.clear();
    passTime(8000);
    const auto opens =
        std::count(keyers->events.begin(), keyers->events.end(), "open DTR+RTS on COM 3");
    EXPECT_EQ(opens, 3) << "after 1, 2 and 4 s";
    const std::size_t records = rec.records.size();
    passTime(8000);
    EXPECT_EQ(rec.records.size(), records) << "nothing transmitted, nothing logged";

    keyers->refuseOpen.clear();
    passTime(16000); // the fifth try, 31 s in
    ASSERT_EQ(session->waiting(), vesk::BeaconWait::None);
    EXPECT_FALSE(rec.missing);
    runTicks(4);
    EXPECT_TRUE(rec.keyed);
    EXPECT_EQ(session->state(), PlaybackState::Playing);
}

// One transmission at a set time (a plan's slot) does not wait: a lost output or keyer ends it,
// the owner hears why, and the next transmission is the owner's to ask for; a keyer that went
// away is tried again all the same, and a slot asked for meanwhile sends nothing.
TEST_F(DeviceLoss, ASingleTransmissionEndsWithItsDevice) {
    pattern = painted(pattern, 50, 10, 20);
    const auto inTwoSeconds = [this] {
        return wall.now() + 2'000'000'000;
    };
    session->transmitAt(inTwoSeconds(), pattern, 32767, 3, {"beacon.txt", "qrss", 0});
    passTime(2500);
    ASSERT_TRUE(rec.keyed);
    loseDevice();
    ASSERT_EQ(rec.count(SessionProblem::SoundLost), 1);
    EXPECT_FALSE(rec.keyed);
    EXPECT_EQ(session->waiting(), vesk::BeaconWait::None);
    EXPECT_FALSE(session->playing());

    session->transmitAt(inTwoSeconds(), pattern, 32767, 3, {"beacon.txt", "qrss", 0});
    passTime(2500);
    ASSERT_TRUE(rec.keyed);
    keyers->refuseKeying = true;
    keyers->refuseOpen = "COM3: no such device";
    session->ptt().pttOn(); // the keyer has gone
    passTime(1000);
    EXPECT_EQ(rec.count(SessionProblem::KeyerLost), 1);
    EXPECT_EQ(rec.windowEnds, 1) << "the transmission ended";
    session->transmitAt(inTwoSeconds(), pattern, 32767, 3, {"beacon.txt", "qrss", 0});
    EXPECT_EQ(rec.count(SessionProblem::KeyerLost), 2) << "no keyer, no transmission";
    EXPECT_FALSE(audio.isOpen());
    keyers->refuseKeying = false;
    keyers->refuseOpen.clear();
    passTime(4000);
    EXPECT_FALSE(session->keyerMissing()) << "tried again meanwhile";
}

// A keyer chosen and not open: Turn On waits for it, and nothing is keyed, logged or played
// until it opens.
TEST_F(DeviceLoss, AKeyerThatDidNotOpenIsWaitedFor) {
    keyers->refuseOpen = "Hamlib NET rigctl at 127.0.0.1:4532: cannot open: IO error";
    EXPECT_FALSE(session->openKeyer({}, 3).ok());
    EXPECT_TRUE(rec.missing);
    press();
    EXPECT_EQ(session->waiting(), vesk::BeaconWait::Keyer);
    passTime(3000);
    EXPECT_FALSE(audio.isOpen());
    EXPECT_TRUE(rec.events.empty() && rec.records.empty());
    keyers->refuseOpen.clear();
    passTime(4000);
    runTicks(3);
    EXPECT_TRUE(rec.keyed);
    EXPECT_EQ(audio.lastDevice(), 3) << "the output of the Turn On";
}

// No key outlasts its pattern's sounding by more than the allowance: a stalled output is
// released by the watchdog and the beacon is off; a key kept into the next cycles while the
// sound goes on is no stall.
TEST_F(DeviceLoss, TheWatchdogEndsAKeyTheSoundNoLongerFollows) {
    vesk::ScratchFolder folder;
    ASSERT_TRUE(session->openLog(folder.file("log")).ok());
    session->setMaxKeyMs(2000);
    pattern = painted(pattern, 50, 40, 40); // 2.05 s of sound, keyed without a break
    press();
    runTicks(300); // 15 s, five cycles
    EXPECT_TRUE(rec.keyed);
    EXPECT_EQ(rec.count(SessionProblem::WatchdogTripped), 0);
    // The sound stops: the last cycle heard began at most 2.05 s ago, and its key may last the
    // 0.24 s lead, its 2.05 s and the 2 s allowed.
    passTime(2000, true);
    EXPECT_TRUE(rec.keyed) << "not before the allowance";
    passTime(3000, true);
    EXPECT_FALSE(rec.keyed);
    EXPECT_EQ(lastKeying(), "release");
    EXPECT_EQ(rec.count(SessionProblem::WatchdogTripped), 1);
    EXPECT_FALSE(rec.playing);
    EXPECT_NE(vesk::readWholeFile(folder.file("log")).find("\tevent\twatchdog: "),
              std::string::npos);
}

TEST_F(SessionTest, AShorterSoundLoadedWhilePlayingIsReadAsSilencePastItsEnd) {
    press();
    runTicks(30);
    const BeaconPattern shorter = painted(vesk::resetPattern(), 100, 0, 200);
    ASSERT_LT(vesk::makePatternStream(shorter, 32767).value().sampleCount(),
              session->playPosition());
    const auto oldEnd = static_cast<std::int64_t>(audio.writtenSamples().size());
    ASSERT_TRUE(session->loadPattern(shorter, 32767));
    runTicks(20);
    const auto& stream = audio.writtenSamples();
    ASSERT_GT(static_cast<std::int64_t>(stream.size()), oldEnd);
    EXPECT_TRUE(allZero(stream.begin() + oldEnd, stream.end()));
    // The counter is past the new dot count at once, but the blocks queued before carry the
    // old pattern: the release waits until they have been heard.
    ASSERT_EQ(releases(), 1);
    EXPECT_GE(rec.events.back().played, oldEnd);
    EXPECT_LT(rec.events.back().played, oldEnd + 60 * kMs / 10);
}

TEST_F(SessionTest, APatternLoadedFarIntoALongCycleTakesOverWithoutAGap) {
    // 80 s into dots of 1 s the new stream's phase lies 3.5 M samples ahead of what it knows:
    // the old pattern goes on while it walks there, a few blocks, then the new one is read
    // from the same position. The written stream never stops.
    pattern = painted(pattern, 1000, 600, 600);
    press();
    runTicks(80);
    BeaconPattern next = pattern;
    for (float& row : next.toneIndex) {
        row = 17.0f - row;
    }
    const vesk::PatternStream oldSound = session->sound();
    const vesk::PatternStream newSound = vesk::makePatternStream(next, 32767).value();
    const auto replacedAt = static_cast<std::int64_t>(audio.writtenSamples().size());
    const std::int64_t position = session->playPosition();
    ASSERT_GT(position, 3 * vesk::kCatchUpSamples);
    ASSERT_TRUE(session->loadPattern(next, 32767));
    runTicks(2);
    const auto& stream = audio.writtenSamples();
    const auto written = static_cast<std::int64_t>(stream.size()) - replacedAt;
    ASSERT_GT(written, 44100);
    std::vector<std::int16_t> before(static_cast<std::size_t>(written));
    std::vector<std::int16_t> after(static_cast<std::size_t>(written));
    oldSound.copySamples(position, before.data(), static_cast<int>(written));
    newSound.copySamples(position, after.data(), static_cast<int>(written));
    const auto from = stream.begin() + replacedAt;
    std::int64_t switchAt = 0;
    while (switchAt < written && from[switchAt] == before[static_cast<std::size_t>(switchAt)]) {
        switchAt += vesk::kBufferSamples;
    }
    EXPECT_GT(switchAt, 0) << "the old pattern plays while the new one catches up";
    EXPECT_LE(switchAt, 4 * vesk::kBufferSamples);
    EXPECT_TRUE(std::equal(from + switchAt, stream.end(), after.begin() + switchAt));
}

// A keyer that refuses its first keying cannot key rather than has gone: it is told once until a
// keying works, and the beacon goes on without waiting. One that has keyed and then refuses has
// gone, playing or not.
TEST_F(SessionTest, AKeyerThatNeverKeyedIsToldOnceUntilAKeyingWorks) {
    keyers->refuseKeying = true;
    press();
    runTicks(250);
    ASSERT_EQ(rec.count(SessionProblem::KeyingFailed), 1) << "not again every cycle";
    EXPECT_EQ(session->waiting(), vesk::BeaconWait::None);
    EXPECT_TRUE(rec.records.empty()) << "nothing transmitted";
    EXPECT_EQ(rec.problems[0].second, "DTR+RTS on COM 3: cannot key: refused");
    press();
    session->ptt().pttOn();
    EXPECT_EQ(rec.count(SessionProblem::KeyingFailed), 1) << "still once";
    EXPECT_FALSE(rec.keyed);
    keyers->refuseKeying = false;
    session->ptt().pttOn();
    EXPECT_TRUE(rec.keyed);
    // A keyer that has keyed and then refuses has gone: it is closed and tried again.
    keyers->refuseKeying = true;
    session->ptt().pttOn();
    EXPECT_EQ(rec.count(SessionProblem::KeyingFailed), 1);
    EXPECT_TRUE(rec.missing && session->keyerMissing());
    keyers->refuseKeying = false;
    passTime(1500);
    EXPECT_FALSE(rec.missing || session->keyerMissing()) << "opened again";
}

// Each transmission goes to the log as one line naming the pattern and the keying, and to the
// views; a log that cannot be written is told once and the beacon goes on.
TEST_F(SessionTest, EachTransmissionIsLoggedAndAnUnwritableLogIsToldOnce) {
    vesk::ScratchFolder folder;
    const std::string path = folder.file("log/transmissions.log");
    ASSERT_TRUE(session->openLog(path).ok());
    EXPECT_FALSE(session->openLog(folder.path().string()).ok()) << "a folder is no log";
    ASSERT_TRUE(session->openLog(path).ok());
    press();
    runTicks(402);
    ASSERT_EQ(rec.records.size(), 2u);
    std::ifstream file(path);
    std::string line;
    std::vector<std::string> logged;
    while (std::getline(file, line)) {
        logged.push_back(line);
    }
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_EQ(logged[1], vesk::transmissionLine(rec.records[1]));
    EXPECT_NE(logged[0].find("\tcycle 1\tbeacon.txt\tDTR+RTS on COM 3\t0 underruns"),
              std::string::npos)
        << logged[0];

    // The file may not grow any more (a file size limit at its present size): every write
    // fails from now on.
    rlimit kept{};
    ::getrlimit(RLIMIT_FSIZE, &kept);
    rlimit full = kept;
    full.rlim_cur = static_cast<rlim_t>(vesk::readWholeFile(path).size());
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &full), 0);
    runTicks(402);
    ::setrlimit(RLIMIT_FSIZE, &kept);
    EXPECT_EQ(rec.count(SessionProblem::LogFailed), 1);
    EXPECT_EQ(vesk::readWholeFile(path).size(), full.rlim_cur);
    EXPECT_EQ(rec.records.size(), 4u) << "the views still hear of every transmission";
    EXPECT_TRUE(session->playing());
}

// The lines of no port are no keyer: nothing opens and nothing fails, and the keyer open before
// is released and closed.
TEST_F(SessionTest, TheLinesOfNoPortAreNoKeyer) {
    press();
    runTicks(3);
    ASSERT_TRUE(keyers->live == 1 && rec.keyed);
    EXPECT_TRUE(session->openKeyer({}, 0).ok());
    EXPECT_EQ(keyers->live, 0);
    EXPECT_EQ(lastKeying(), "release on the way out") << "released before it closed";
    keyers->refuseOpen = "COM4: no device for this number";
    EXPECT_EQ(session->openKeyer({}, 4).message(), "COM4: no device for this number");
}

} // namespace
