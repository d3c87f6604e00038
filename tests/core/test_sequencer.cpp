// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone/sequencer.h"

#include "platform/fake_audio_out.h"
#include "tone/pattern.h"
#include "tone/pattern_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

using vesk::BeaconPattern;
using vesk::CycleBarColour;
using vesk::kKeyLeadSamples;
using vesk::kLeadInSamples;
using vesk::PlaybackState;
using vesk::Sequencer;
using vesk::platform::FakeAudioOut;

namespace {

constexpr std::int64_t kMs = 441; // samples in 10 ms

struct Bar {
    CycleBarColour colour;
    int x1, x2;
    bool operator==(const Bar&) const = default;
};

// A key or a release, and how far the device had played when it happened.
struct Keying {
    bool keyed = false;
    std::int64_t played = 0;
};

// The dot timer, the transmitter and the view in one recorder.
struct Recorder : vesk::DotTimer, vesk::Transmitter, vesk::SequencerView {
    explicit Recorder(const FakeAudioOut& device) : audio(device) {}
    void start(int milliseconds) override { running = true, period = milliseconds; }
    void stop() override { running = false; }
    void pttOn() override { keyed = true, ++keyings, log(true); }
    void pttOff() override { keyed = false, log(false); }
    void showPlaying(bool on) override { playing = on; }
    void enableParameterControls(bool enabled) override { controlsEnabled = enabled; }
    void redrawPatternViews() override { ++redraws; }
    void drawStripProgress(int dotCounter) override { strip.push_back(dotCounter); }
    void drawCycleBar(CycleBarColour c, int x1, int x2) override { bars.push_back({c, x1, x2}); }
    void showRenderProgress(int blocks) override { progress.push_back(blocks); }
    void renderFinished() override { ++renderEnds; }
    void reportOpenFailure(const std::string& reason) override {
        ++openFailures, openFailure = reason;
    }
    void reportRenderRefused(const std::string& message) override { refusal = message; }
    void reportDeviceLost() override {
        ++losses;
        if (whileLossShown) {
            whileLossShown();
        }
    }
    void endMainWindow() override { ++windowEnds; }
    void cyclePlayed(long cycle, std::int64_t underruns) override {
        cycles.emplace_back(cycle, underruns);
    }

    void log(bool on) {
        // Only changes count: a release of lines already released keys nothing.
        if (events.empty() ? on : events.back().keyed != on) {
            events.push_back({on, static_cast<std::int64_t>(audio.playedSamples().size())});
        }
    }

    const FakeAudioOut& audio;
    bool running = false, keyed = false, controlsEnabled = true, playing = false;
    int period = 0, keyings = 0, redraws = 0, renderEnds = 0, openFailures = 0, windowEnds = 0;
    int losses = 0;
    std::string refusal, openFailure;
    std::vector<int> strip, progress;
    std::vector<Bar> bars;
    std::vector<Keying> events;
    std::vector<std::pair<long, std::int64_t>> cycles;
    std::function<void()> whileLossShown; // a nested loop runs while the message is up
};

// What was true right after one dot timer tick.
struct Tick {
    std::int32_t counter = 0; // dotCounter
    std::int64_t written = 0; // samples written to the device so far
    bool restart = false;     // the tick sent the sound back to sample 0
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

class SequencerTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (const std::string& breach : audio.contractViolations()) {
            ADD_FAILURE() << "audio contract: " << breach;
        }
    }

    // The window's Turn On/Off button.
    void toggle() {
        if (sequencer.deviceOpen()) {
            sequencer.stop();
        } else {
            sequencer.start(pattern, 32767, 3);
        }
    }
    // Turn On/Off, then the event loop runs once.
    void press() { toggle(), audio.deliver(); }

    // Lets `ms` milliseconds of sound play, with the event loop running every 10 ms.
    void passTime(int ms) {
        for (int done = 0; done < ms; done += 10) {
            elapsedMs += std::min(10, ms - done);
            const std::int64_t target = elapsedMs * vesk::kSampleRate / 1000;
            audio.advance(target - advancedSamples);
            advancedSamples = target;
            audio.deliver();
        }
    }

    // Runs `count` dot times: the sound plays for a dot, then the timer ticks if it runs.
    void runTicks(int count) {
        for (int i = 0; i < count; ++i) {
            passTime(rec.period > 0 ? rec.period : pattern.dotLength);
            if (!rec.running) {
                continue;
            }
            const int redrawsBefore = rec.redraws;
            sequencer.onDotTimer();
            ticks.push_back({sequencer.dotCounter(),
                             static_cast<std::int64_t>(audio.writtenSamples().size()),
                             rec.redraws > redrawsBefore});
            if (ticks.back().restart) {
                restartTicks.push_back(static_cast<int>(ticks.size()));
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

    int releases() const {
        return static_cast<int>(std::count_if(rec.events.begin(), rec.events.end(),
                                              [](const Keying& k) { return !k.keyed; }));
    }

    // The transmitter follows the played samples: keyed 20..500 ms before a cycle's first
    // sample is heard, released no earlier than its pattern's last sample and at most 60 ms
    // after it, and no key or release lasts less than one dot.
    void expectKeyingFollowsTheSound() const {
        const std::int64_t n = sequencer.sound().sampleCount();
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
        std::vector<std::int16_t> table(static_cast<std::size_t>(sequencer.sound().sampleCount()));
        sequencer.sound().copySamples(0, table.data(), static_cast<int>(table.size()));
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
        EXPECT_FALSE(rec.keyed || rec.running || sequencer.deviceOpen() || audio.isOpen());
        EXPECT_TRUE(rec.controlsEnabled && !rec.playing);
        EXPECT_EQ(sequencer.state(), PlaybackState::Idle);
    }

    FakeAudioOut audio;
    Recorder rec{audio};
    Sequencer sequencer{audio, rec, rec, rec};
    BeaconPattern pattern = painted(vesk::resetPattern(), 100, 100, 200);
    std::int64_t elapsedMs = 0, advancedSamples = 0;
    std::vector<Tick> ticks;
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
    {"FourSilentDots", false, 100, 10, 14, 11025, 60, {14, 29, 44, 59}, 4, 3},
    {"OneSilentSecondDot", false, 1000, 2, 3, 0, 13, {3, 7, 11}, 1, 0},
    {"TwoSilentSecondDots", false, 1000, 2, 4, 11025, 13, {4, 9}, 2, 2}};

class KeyingScenario : public SequencerTest, public ::testing::WithParamInterface<Scenario> {};
INSTANTIATE_TEST_SUITE_P(Sequencer, KeyingScenario, ::testing::ValuesIn(kScenarios),
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

TEST_F(SequencerTest, ACycleLimitReleasesAfterTheLastCycleIsHeardAndKeysNoMore) {
    pattern = painted(pattern, 100, 10, 20);
    audio.setLatencySamples(11025);
    sequencer.setCycleLimit(2);
    press();
    runTicks(60);
    EXPECT_EQ(restartTicks, std::vector<int>{20});
    EXPECT_EQ(rec.keyings, 2);
    EXPECT_EQ(releases(), 2);
    expectKeyingFollowsTheSound();
    EXPECT_EQ(rec.windowEnds, 1) << "ends as a close request once the queue has played";
    EXPECT_FALSE(rec.keyed || sequencer.deviceOpen() || rec.running);
    EXPECT_EQ(rec.cycles, (std::vector<std::pair<long, std::int64_t>>{{1, 0}, {2, 0}}));
}

TEST_F(SequencerTest, GapsInTheSoundAreReportedWithTheCycleTheyHappenedIn) {
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

TEST_F(SequencerTest, TurnOnFillsTheRingOnceOpenedAndTheViewsFollowTheCycle) {
    toggle();
    EXPECT_EQ(sequencer.state(), PlaybackState::Opening);
    EXPECT_TRUE(!rec.keyed && rec.running && !rec.controlsEnabled && rec.period == 100)
        << "keyed only once the device plays";
    EXPECT_FALSE(rec.playing) << "the button waits for the device";
    EXPECT_TRUE(audio.lastDevice() == 3 && audio.lastFormat().avgBytesPerSec == 88200u);
    EXPECT_EQ(rec.progress, (std::vector<int>{10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}));
    audio.deliver();
    EXPECT_TRUE(sequencer.state() == PlaybackState::Playing && rec.playing);
    EXPECT_EQ(audio.writtenSamples().size(), 64u * 128u);

    runTicks(201);
    // x = dots x 180 / 200, rounded: red while the pattern sounds, then blue from x(100).
    const CycleBarColour red = CycleBarColour::Red, blue = CycleBarColour::Blue;
    const std::pair<int, Bar> bars[] = {{1, {red, 0, 2}},       {99, {red, 0, 90}},
                                        {100, {blue, 90, 91}},  {150, {blue, 90, 136}},
                                        {200, {blue, 90, 181}}, {201, {red, 0, 1}}};
    for (const auto& [tick, bar] : bars) {
        EXPECT_EQ(rec.bars[static_cast<std::size_t>(tick - 1)], bar) << "tick " << tick;
    }
    EXPECT_EQ(rec.strip[99], 100);
    EXPECT_EQ(rec.strip[100], 0) << "the strip goes back to 0 past the last dot";
    EXPECT_EQ(rec.redraws, 2) << "Turn On and the restart";
    // A repeat of 0 fills the whole bar with one dot, red while a dot sounds, else blue.
    for (const auto& [dotCount, colour] : {std::pair{10, red}, {0, blue}}) {
        pattern = painted(pattern, 100, dotCount, 0);
        sequencer.replaceSound(pattern, sequencer.sound());
        runTicks(1);
        EXPECT_EQ(rec.bars.back(), (Bar{colour, 0, 180}));
    }
}

// Turn Off, then a close request, before the device is ready: it closes unplayed and unkeyed;
// the close request ends the window once the device has closed.
TEST_F(SequencerTest, EndingBeforeTheDeviceIsReadyClosesWithoutPlayingOrKeying) {
    EXPECT_FALSE(sequencer.close()) << "idle: the caller ends the window";
    toggle();
    toggle();
    EXPECT_EQ(sequencer.state(), PlaybackState::Draining);
    audio.deliver();
    expectAllStopped();
    toggle();
    EXPECT_TRUE(sequencer.close());
    EXPECT_EQ(rec.windowEnds, 0);
    audio.deliver();
    EXPECT_EQ(rec.windowEnds, 1);
    EXPECT_FALSE(sequencer.deviceOpen() || audio.isOpen());
    EXPECT_TRUE(audio.writtenSamples().empty());
    EXPECT_EQ(rec.keyings, 0);
}

TEST_F(SequencerTest, TurnOffReleasesAtOnceAndTheDeviceClosesOnlyWhenTheQueueHasPlayed) {
    press();
    runTicks(30);
    const std::size_t writtenBefore = audio.writtenSamples().size();
    press();
    EXPECT_FALSE(rec.keyed || rec.running || !rec.controlsEnabled || rec.playing);
    EXPECT_TRUE(sequencer.state() == PlaybackState::Draining && sequencer.deviceOpen());
    press(); // while draining: stops again, renders and opens nothing
    EXPECT_TRUE(rec.renderEnds == 1 && audio.openAttempts() == 1);
    EXPECT_EQ(sequencer.state(), PlaybackState::Draining);

    passTime(60);
    EXPECT_GT(audio.closeAttempts(), 1);
    EXPECT_TRUE(sequencer.deviceOpen()) << "blocks are still queued";
    passTime(200);
    expectAllStopped();
    EXPECT_EQ(audio.writtenSamples().size(), writtenBefore) << "nothing refilled after Turn Off";
    EXPECT_EQ(audio.playedSamples().size(), writtenBefore) << "the queue played out";
    EXPECT_EQ(rec.windowEnds, 0);
    press();
    EXPECT_EQ(sequencer.state(), PlaybackState::Playing);
}

// The named operations do nothing out of turn: the tool stops and closes whatever the state.
TEST_F(SequencerTest, StartAndStopOutOfTurnChangeNothing) {
    sequencer.stop();
    EXPECT_TRUE(audio.openAttempts() == 0 && rec.redraws == 0);
    press();
    runTicks(3);
    sequencer.start(pattern, 32767, 5);
    EXPECT_TRUE(rec.renderEnds == 1 && audio.openAttempts() == 1 && rec.keyed);
    EXPECT_EQ(sequencer.state(), PlaybackState::Playing);
}

TEST_F(SequencerTest, ACloseWhilePlayingReleasesAtOnceAndWaitsForTheQueue) {
    press();
    runTicks(30);
    const std::size_t writtenBefore = audio.writtenSamples().size();
    EXPECT_TRUE(sequencer.close());
    EXPECT_EQ(sequencer.state(), PlaybackState::Closing);
    EXPECT_TRUE(rec.running && !rec.keyed) << "the close request releases at once";
    runTicks(1);
    EXPECT_EQ(rec.windowEnds, 0) << "186 ms of sound are still queued";
    EXPECT_TRUE(sequencer.deviceOpen());
    runTicks(1);
    EXPECT_EQ(rec.windowEnds, 1);
    EXPECT_FALSE(sequencer.deviceOpen() || rec.running);
    EXPECT_EQ(audio.playedSamples(), audio.writtenSamples());
    EXPECT_EQ(audio.writtenSamples().size(), writtenBefore);
}

TEST_F(SequencerTest, ARefusedRenderIsReportedAndOpensNothing) {
    pattern = painted(pattern, 0, 600, 600);
    press();
    EXPECT_FALSE(rec.refusal.empty());
    EXPECT_EQ(rec.renderEnds, 1);
    EXPECT_EQ(audio.openAttempts(), 0);
    expectAllStopped();
}

TEST_F(SequencerTest, AFailedOpenIsReportedOnceAndLeavesNothingRunning) {
    audio.setOpenFailure("Device unavailable");
    sequencer.start(pattern, 32767, 7);
    EXPECT_EQ(audio.lastDevice(), 7);
    EXPECT_EQ(rec.openFailures, 1);
    EXPECT_EQ(rec.openFailure, "sound output 7: Device unavailable");
    EXPECT_EQ(rec.keyings, 0);
    expectAllStopped();
    runTicks(5);
    EXPECT_TRUE(ticks.empty());

    audio.setOpenFailure({});
    press();
    EXPECT_EQ(sequencer.state(), PlaybackState::Playing);
    runTicks(2);
    EXPECT_TRUE(rec.keyed);
    EXPECT_EQ(rec.openFailures, 1);
}

class DeviceLoss : public SequencerTest {
protected:
    void expectEndedByLoss(int losses) {
        ASSERT_EQ(rec.losses, losses);
        EXPECT_FALSE(rec.keyed || rec.running || sequencer.deviceOpen() || !rec.controlsEnabled);
        EXPECT_EQ(sequencer.state(), PlaybackState::Idle);
    }
    void loseDevice() { audio.loseDevice(), audio.deliver(); }
};

TEST_F(DeviceLoss, EndsPlaybackLikeTurnOffAndATurnOnFromTheMessageStartsAfresh) {
    press();
    runTicks(5);
    rec.whileLossShown = [this] {
        toggle();
    };
    loseDevice();
    rec.whileLossShown = nullptr;
    EXPECT_EQ(rec.losses, 1);
    EXPECT_EQ(sequencer.state(), PlaybackState::Playing);
    runTicks(3);
    EXPECT_TRUE(rec.keyed);
    EXPECT_EQ(audio.queuedBlocks(), 64);
    EXPECT_EQ(audio.underrunSamples(), 0);

    loseDevice();
    expectEndedByLoss(2);
    EXPECT_EQ(rec.windowEnds, 0);
}

TEST_F(DeviceLoss, AWindowWaitingToCloseEnds) {
    press();
    EXPECT_TRUE(sequencer.close());
    loseDevice();
    expectEndedByLoss(1);
    EXPECT_EQ(rec.windowEnds, 1);
}

TEST_F(DeviceLoss, AnUnaskedCloseWhilePlayingCountsAsALoss) {
    press();
    runTicks(3);
    sequencer.onDeviceClosed();
    expectEndedByLoss(1);
}

TEST_F(SequencerTest, AShorterSoundLoadedWhilePlayingIsReadAsSilencePastItsEnd) {
    press();
    runTicks(30);
    const BeaconPattern shorter = painted(vesk::resetPattern(), 100, 0, 200);
    vesk::PatternStream loaded = vesk::makePatternStream(shorter, 32767).value();
    ASSERT_LT(loaded.sampleCount(), sequencer.playPosition());
    const auto oldEnd = static_cast<std::int64_t>(audio.writtenSamples().size());
    sequencer.replaceSound(shorter, std::move(loaded));
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

TEST_F(SequencerTest, APatternLoadedFarIntoALongCycleTakesOverWithoutAGap) {
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
    const vesk::PatternStream oldSound = sequencer.sound();
    const vesk::PatternStream newSound = vesk::makePatternStream(next, 32767).value();
    const auto replacedAt = static_cast<std::int64_t>(audio.writtenSamples().size());
    const std::int64_t position = sequencer.playPosition();
    ASSERT_GT(position, 3 * vesk::kCatchUpSamples);
    sequencer.replaceSound(next, vesk::makePatternStream(next, 32767).value());
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

} // namespace
