#include "tone/sequencer.h"

#include "platform/fake_audio_out.h"
#include "tone/pattern.h"
#include "tone/render.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using vesk::BeaconPattern;
using vesk::CycleBarColour;
using vesk::PlaybackState;
using vesk::Sequencer;
using vesk::platform::FakeAudioOut;

namespace {

struct Bar {
    CycleBarColour colour;
    int x1;
    int x2;
    bool operator==(const Bar&) const = default;
};

// The dot timer, the transmitter and the view in one recorder.
struct Recorder : vesk::DotTimer, vesk::Transmitter, vesk::SequencerView {
    void start(int milliseconds) override { running = true, period = milliseconds; }
    void stop() override { running = false; }
    void pttOn() override { keyed = true, ++keyings; }
    void pttOff() override { keyed = false, ++releases; }
    void setToggleCaption(const std::string& text) override { caption = text; }
    void enableParameterControls(bool enabled) override { controlsEnabled = enabled; }
    void redrawPatternViews() override { ++redraws; }
    void drawStripProgress(int dotCounter) override { strip.push_back(dotCounter); }
    void drawCycleBar(CycleBarColour c, int x1, int x2) override { bars.push_back({c, x1, x2}); }
    void showRenderProgress(int blocks) override { progress.push_back(blocks); }
    void renderFinished() override { ++renderEnds; }
    void reportOpenFailure() override { ++openFailures; }
    void reportRenderRefused(const std::string& message) override { refusals.push_back(message); }
    void reportDeviceLost(const std::string& message) override {
        losses.push_back(message);
        if (whileLossShown) {
            whileLossShown();
        }
    }
    void endMainWindow() override { ++windowEnds; }

    bool running = false;
    int period = 0;
    bool keyed = false;
    int keyings = 0;
    int releases = 0;
    std::string caption = "Turn On";
    bool controlsEnabled = true;
    int redraws = 0;
    std::vector<int> strip;
    std::vector<Bar> bars;
    std::vector<int> progress;
    int renderEnds = 0;
    int openFailures = 0;
    std::vector<std::string> refusals;
    std::vector<std::string> losses;
    std::function<void()> whileLossShown; // a nested loop runs while the message is up
    int windowEnds = 0;
};

// What was true right before and after one dot timer tick.
struct Tick {
    int number = 0;           // 1 for the first tick after Turn On
    std::int32_t counter = 0; // dotCounter after the tick
    bool keyed = false;       // transmitter after the tick
    std::int64_t played = 0;  // samples the device had played (and reported) before it
    std::int64_t written = 0; // samples written to the device so far
    bool restart = false;     // the tick sent the sound back to sample 0
};

// Every tone row in turn at full level, so that no stretch of the table is silent.
BeaconPattern painted(BeaconPattern pattern) {
    for (int slot = 0; slot <= pattern.dotCount; ++slot) {
        pattern.toneIndex[static_cast<std::size_t>(slot)] = static_cast<float>(1 + slot % 16);
        pattern.levelCode[static_cast<std::size_t>(slot)] = 1.0f;
    }
    return pattern;
}

BeaconPattern withParameters(BeaconPattern pattern, std::int32_t dotLength, std::int32_t dotCount,
                             std::int32_t repeatDots) {
    pattern.dotLength = dotLength;
    pattern.dotCount = dotCount;
    pattern.repeatDots = repeatDots;
    return pattern;
}

// The written stream holds only 128-sample blocks, so the block that carries stream sample s
// comes back when the device has played up to the next multiple of 128.
std::int64_t reportedAt(std::int64_t streamSample) {
    return (streamSample / 128 + 1) * 128;
}

class SequencerTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (const std::string& breach : audio.contractViolations()) {
            ADD_FAILURE() << "audio contract: " << breach;
        }
    }

    // Presses Turn On/Off and lets the event loop run once.
    void press() {
        sequencer.togglePlayback(pattern, kAmplitude, kDevice);
        audio.deliver();
    }

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
            Tick tick;
            tick.number = static_cast<int>(ticks.size()) + 1;
            tick.played = static_cast<std::int64_t>(audio.playedSamples().size());
            const int onBefore = rec.keyings;
            sequencer.onDotTimer();
            tick.counter = sequencer.dotCounter();
            tick.keyed = rec.keyed;
            tick.written = static_cast<std::int64_t>(audio.writtenSamples().size());
            tick.restart = rec.keyings > onBefore;
            ticks.push_back(tick);
        }
    }

    std::vector<int> restartTicks() const {
        std::vector<int> found;
        for (const Tick& tick : ticks) {
            if (tick.restart) {
                found.push_back(tick.number);
            }
        }
        return found;
    }

    // The first tick at or after `from` with the transmitter released; 0 if none.
    int firstReleasedTick(int from) const {
        for (const Tick& tick : ticks) {
            if (tick.number >= from && !tick.keyed) {
                return tick.number;
            }
        }
        return 0;
    }

    // Checks every recorded tick against the device's clock: the transmitter is released
    // exactly at the silent ticks that come after the block holding the pattern's last sample
    // of that cycle was reported played, and keyed at every other tick.
    void expectKeyingFollowsTheSound() const {
        const std::int64_t n = sequencer.sound().sampleCount();
        std::int64_t cycleStart = 0; // stream index of this cycle's sample 0
        for (const Tick& tick : ticks) {
            const bool silent = tick.counter > pattern.dotCount && !tick.restart;
            const bool heard = tick.played >= reportedAt(cycleStart + n - 1);
            EXPECT_EQ(tick.keyed, !(silent && heard))
                << "tick " << tick.number << " counter " << tick.counter;
            if (tick.restart) {
                cycleStart = tick.written;
            }
        }
    }

    // Checks that the written stream from `start` holds the table from sample 0 for `count`
    // samples.
    void expectTableAt(std::int64_t start, std::int64_t count) const {
        const auto& stream = audio.writtenSamples();
        ASSERT_LE(start + count, static_cast<std::int64_t>(stream.size()));
        std::vector<std::int16_t> table(static_cast<std::size_t>(count));
        sequencer.sound().copySamples(0, table.data(), static_cast<int>(count));
        const auto from = stream.begin() + start;
        EXPECT_TRUE(std::equal(table.begin(), table.end(), from))
            << "the stream from sample " << start << " is not the table from sample 0";
    }

    static constexpr std::int32_t kAmplitude = 32767;
    static constexpr int kDevice = 3;

    // What every way of ending playback leaves behind.
    void expectAllStopped() const {
        EXPECT_FALSE(rec.keyed);
        EXPECT_FALSE(rec.running);
        EXPECT_TRUE(rec.controlsEnabled);
        EXPECT_EQ(rec.caption, "Turn On");
        EXPECT_FALSE(sequencer.deviceOpen());
        EXPECT_FALSE(audio.isOpen());
        EXPECT_EQ(sequencer.state(), PlaybackState::Idle);
    }

    FakeAudioOut audio;
    Recorder rec;
    Sequencer sequencer{audio, rec, rec, rec};
    BeaconPattern pattern = painted(vesk::resetPattern());
    std::int64_t elapsedMs = 0;
    std::int64_t advancedSamples = 0;
    std::vector<Tick> ticks;
};

TEST_F(SequencerTest, TurnOnKeysStartsTheTimerAndFillsTheWholeRingOnceOpened) {
    sequencer.togglePlayback(pattern, kAmplitude, kDevice);
    EXPECT_EQ(sequencer.state(), PlaybackState::Opening);
    EXPECT_TRUE(rec.keyed);
    EXPECT_TRUE(rec.running);
    EXPECT_EQ(rec.period, 100);
    EXPECT_FALSE(rec.controlsEnabled);
    EXPECT_EQ(rec.caption, "Turn On") << "the caption waits for the device";
    EXPECT_EQ(audio.lastDevice(), kDevice);
    EXPECT_EQ(audio.lastFormat().avgBytesPerSec, 88200u);
    EXPECT_EQ(rec.progress, (std::vector<int>{10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}));
    audio.deliver();
    EXPECT_EQ(sequencer.state(), PlaybackState::Playing);
    EXPECT_EQ(rec.caption, "Turn Off");
    EXPECT_EQ(audio.queuedBlocks(), 64);
    EXPECT_EQ(audio.writtenSamples().size(), 64u * 128u);
}

TEST_F(SequencerTest, ResetValuesReleaseOnlyAfterThePatternHasBeenHeardToItsEnd) {
    press();
    runTicks(401); // two cycles: 200 ticks, then 201
    EXPECT_EQ(restartTicks(), (std::vector<int>{200, 401}));
    EXPECT_EQ(rec.keyings, 3);
    expectKeyingFollowsTheSound();

    // Cycle 1: the block with sample 445409 ends at 445440, played just after the tick that
    // makes the counter 101 (445410 samples); the release waits for the next tick.
    EXPECT_EQ(firstReleasedTick(1), 102);
    // Cycle 2 starts a queue later than its restart tick; at counter 101 the last dot is
    // still sounding, so the release comes at counter 102 again.
    const Tick& restart = ticks[199];
    const Tick& counter101 = ticks[200 + 101];
    ASSERT_EQ(counter101.counter, 101);
    EXPECT_LT(counter101.played - restart.written, 445410);
    EXPECT_TRUE(counter101.keyed);
    const int second = firstReleasedTick(201);
    ASSERT_GT(second, 0);
    EXPECT_EQ(ticks[static_cast<std::size_t>(second - 1)].counter, 102);

    // The sound heard from each restart is the table from sample 0, silence in between.
    expectTableAt(0, 445410);
    expectTableAt(restart.written, 445410);
    const auto& stream = audio.writtenSamples();
    EXPECT_TRUE(std::all_of(stream.begin() + 445410, stream.begin() + restart.written,
                            [](std::int16_t s) { return s == 0; }));
    EXPECT_EQ(audio.underrunSamples(), 0);

    // x = dots x 180 / 200, rounded: red while the pattern sounds, then blue from x(100).
    const std::pair<int, Bar> bars[] = {
        {1, {CycleBarColour::Red, 0, 2}},       {99, {CycleBarColour::Red, 0, 90}},
        {100, {CycleBarColour::Blue, 90, 91}},  {150, {CycleBarColour::Blue, 90, 136}},
        {200, {CycleBarColour::Blue, 90, 181}}, {201, {CycleBarColour::Red, 0, 1}},
    };
    for (const auto& [tick, bar] : bars) {
        EXPECT_EQ(rec.bars[static_cast<std::size_t>(tick - 1)], bar) << "tick " << tick;
    }
    EXPECT_EQ(rec.strip[99], 100);
    EXPECT_EQ(rec.strip[100], 0) << "the strip goes back to 0 past the last dot";
    EXPECT_EQ(rec.redraws, 3) << "Turn On and the two restarts";
}

TEST_F(SequencerTest, StartValuesKeepTheTransmitterKeyedAndRestartEvery601Ticks) {
    pattern = painted(vesk::startPattern());
    press();
    runTicks(1812);
    EXPECT_EQ(restartTicks(), (std::vector<int>{600, 1201, 1802}));
    EXPECT_EQ(rec.releases, 0);
    EXPECT_TRUE(rec.keyed);
    expectKeyingFollowsTheSound();
    // What is heard after each restart is the table from its first sample.
    const auto& heard = audio.playedSamples();
    for (int number : {600, 1201, 1802}) {
        const Tick& tick = ticks[static_cast<std::size_t>(number - 1)];
        ASSERT_GT(static_cast<std::int64_t>(heard.size()), tick.written + 20000);
        std::vector<std::int16_t> table(20000);
        sequencer.sound().copySamples(0, table.data(), 20000);
        EXPECT_TRUE(std::equal(table.begin(), table.end(), heard.begin() + tick.written))
            << "restart at tick " << number;
    }
}

TEST_F(SequencerTest, AFullPatternWithALongerRepeatIsReleasedInTheSilentPart) {
    pattern = painted(withParameters(vesk::startPattern(), 100, 600, 700));
    press();
    runTicks(1401);
    EXPECT_EQ(restartTicks(), (std::vector<int>{700, 1401}));
    // Sample 2650409 comes back with the block ending at 2650496, after 601.02 dot times.
    EXPECT_EQ(firstReleasedTick(1), 602);
    EXPECT_GT(firstReleasedTick(701), 0);
    expectKeyingFollowsTheSound();
}

TEST_F(SequencerTest, ARepeatShorterThanThePatternCutsItAndNeverReleases) {
    pattern = painted(withParameters(vesk::resetPattern(), 100, 100, 50));
    press();
    runTicks(160);
    EXPECT_EQ(restartTicks(), (std::vector<int>{50, 101, 152}));
    EXPECT_EQ(rec.releases, 0);
    expectKeyingFollowsTheSound();
    expectTableAt(ticks[49].written, 20000);
    expectTableAt(ticks[100].written, 20000);
}

TEST_F(SequencerTest, ARepeatOfZeroRestartsAtEveryTickWithoutDividingByZero) {
    pattern = painted(withParameters(vesk::resetPattern(), 100, 10, 0));
    press();
    runTicks(12);
    EXPECT_EQ(restartTicks().size(), 12u);
    EXPECT_EQ(sequencer.dotCounter(), 0);
    EXPECT_EQ(rec.releases, 0);
    for (const Bar& bar : rec.bars) {
        EXPECT_EQ(bar, (Bar{CycleBarColour::Red, 0, 180}));
    }
    pattern = withParameters(pattern, 100, 0, 0);
    sequencer.replaceSound(pattern, sequencer.sound());
    runTicks(1);
    EXPECT_EQ(rec.bars.back(), (Bar{CycleBarColour::Blue, 0, 180}));
}

TEST_F(SequencerTest, TurnOffReleasesAtOnceAndTheDeviceClosesOnlyWhenTheQueueHasPlayed) {
    press();
    runTicks(30);
    const std::size_t writtenBefore = audio.writtenSamples().size();
    press();
    EXPECT_FALSE(rec.keyed);
    EXPECT_EQ(rec.caption, "Turn On");
    EXPECT_TRUE(rec.controlsEnabled);
    EXPECT_FALSE(rec.running);
    EXPECT_EQ(sequencer.state(), PlaybackState::Draining);
    EXPECT_TRUE(sequencer.deviceOpen());

    // Pressed again while draining: stops again, renders and opens nothing.
    press();
    EXPECT_EQ(rec.renderEnds, 1);
    EXPECT_EQ(audio.openAttempts(), 1);
    EXPECT_EQ(sequencer.state(), PlaybackState::Draining);

    passTime(60);
    EXPECT_GT(audio.closeAttempts(), 0);
    EXPECT_TRUE(sequencer.deviceOpen()) << "blocks are still queued";
    EXPECT_EQ(rec.windowEnds, 0);
    passTime(200);
    expectAllStopped();
    EXPECT_EQ(audio.writtenSamples().size(), writtenBefore) << "nothing refilled after Turn Off";
    EXPECT_EQ(audio.playedSamples().size(), writtenBefore) << "the queue played out";
    EXPECT_EQ(rec.windowEnds, 0);

    // And the next press starts afresh.
    press();
    EXPECT_EQ(sequencer.state(), PlaybackState::Playing);
    EXPECT_EQ(audio.openAttempts(), 2);
}

TEST_F(SequencerTest, TurnOffBeforeTheDeviceIsReadyClosesItWithoutPlaying) {
    sequencer.togglePlayback(pattern, kAmplitude, kDevice);
    sequencer.togglePlayback(pattern, kAmplitude, kDevice);
    EXPECT_EQ(sequencer.state(), PlaybackState::Draining);
    audio.deliver();
    EXPECT_TRUE(audio.writtenSamples().empty());
    expectAllStopped();
    EXPECT_EQ(rec.caption, "Turn On") << "never showed Turn Off on the way";
}

TEST_F(SequencerTest, ClosingWhilePlayingWaitsForTheDeviceToClose) {
    press();
    runTicks(30);
    const std::size_t writtenBefore = audio.writtenSamples().size();
    EXPECT_TRUE(sequencer.requestClose());
    EXPECT_EQ(sequencer.state(), PlaybackState::Closing);
    EXPECT_TRUE(sequencer.closePending());
    EXPECT_TRUE(sequencer.stopRequested());
    EXPECT_TRUE(rec.running) << "the close request leaves the timer alone";
    EXPECT_TRUE(rec.keyed) << "and the transmitter";
    EXPECT_EQ(rec.windowEnds, 0);
    runTicks(1);
    EXPECT_EQ(rec.windowEnds, 0) << "186 ms of sound are still queued";
    EXPECT_TRUE(sequencer.deviceOpen());
    runTicks(1);
    EXPECT_EQ(rec.windowEnds, 1);
    EXPECT_FALSE(sequencer.deviceOpen());
    EXPECT_FALSE(rec.running);
    EXPECT_EQ(audio.playedSamples().size(), writtenBefore);
    EXPECT_EQ(audio.writtenSamples().size(), writtenBefore);
}

TEST_F(SequencerTest, ClosingBeforeTheDeviceIsReadyEndsTheWindowOnceItHasClosed) {
    EXPECT_FALSE(sequencer.requestClose()) << "idle: the caller ends the window";
    EXPECT_EQ(audio.closeAttempts(), 0);
    sequencer.togglePlayback(pattern, kAmplitude, kDevice);
    EXPECT_TRUE(sequencer.requestClose());
    EXPECT_EQ(rec.windowEnds, 0);
    audio.deliver();
    EXPECT_EQ(rec.windowEnds, 1);
    EXPECT_TRUE(audio.writtenSamples().empty());
}

TEST_F(SequencerTest, AFailedOpenIsReportedOnceAndLeavesNothingRunning) {
    audio.setFailOpen(true);
    sequencer.togglePlayback(pattern, kAmplitude, 7);
    EXPECT_EQ(audio.lastDevice(), 7);
    EXPECT_EQ(rec.openFailures, 1);
    EXPECT_EQ(rec.keyings, 0);
    expectAllStopped();
    runTicks(5);
    EXPECT_TRUE(ticks.empty());
    EXPECT_EQ(rec.keyings, 0);

    audio.setFailOpen(false);
    press();
    EXPECT_EQ(sequencer.state(), PlaybackState::Playing);
    EXPECT_TRUE(rec.keyed);
    EXPECT_EQ(rec.openFailures, 1);
}

TEST_F(SequencerTest, ARefusedRenderLeavesEverythingIdle) {
    pattern = withParameters(vesk::startPattern(), 20000, 600, 600);
    sequencer.togglePlayback(pattern, kAmplitude, kDevice);
    ASSERT_EQ(rec.refusals.size(), 1u);
    EXPECT_FALSE(rec.refusals.front().empty());
    EXPECT_EQ(rec.renderEnds, 1);
    EXPECT_EQ(audio.openAttempts(), 0);
    EXPECT_EQ(rec.period, 0) << "the timer was never started";
    EXPECT_EQ(rec.keyings, 0);
    expectAllStopped();
}

TEST_F(SequencerTest, ALostDeviceOrAnUnaskedCloseEndsPlaybackLikeTurnOff) {
    for (const bool lost : {true, false}) {
        press();
        runTicks(20);
        if (lost) {
            audio.loseDevice();
            audio.deliver();
        } else {
            sequencer.onDeviceClosed();
        }
        ASSERT_EQ(rec.losses.size(), lost ? 1u : 2u);
        EXPECT_EQ(rec.losses.back(), vesk::kDeviceLostText);
        EXPECT_FALSE(rec.keyed);
        EXPECT_FALSE(rec.running);
        EXPECT_TRUE(rec.controlsEnabled);
        EXPECT_FALSE(sequencer.deviceOpen());
        EXPECT_EQ(sequencer.state(), PlaybackState::Idle);
        EXPECT_EQ(rec.windowEnds, 0);
    }
}

TEST_F(SequencerTest, TurningOnFromTheLossMessageStartsAFreshStream) {
    press();
    runTicks(5);
    rec.whileLossShown = [this] {
        sequencer.togglePlayback(pattern, kAmplitude, kDevice);
    };
    audio.loseDevice();
    audio.deliver();
    rec.whileLossShown = nullptr;
    EXPECT_EQ(rec.losses.size(), 1u);
    EXPECT_EQ(sequencer.state(), PlaybackState::Playing);
    EXPECT_TRUE(rec.keyed);
    runTicks(3);
    EXPECT_EQ(audio.queuedBlocks(), 64);
    EXPECT_EQ(audio.underrunSamples(), 0);
}

TEST_F(SequencerTest, ALostDeviceEndsAWindowThatWaitedToClose) {
    press();
    runTicks(5);
    EXPECT_TRUE(sequencer.requestClose());
    audio.loseDevice();
    audio.deliver();
    EXPECT_EQ(rec.windowEnds, 1);
    EXPECT_FALSE(sequencer.deviceOpen());
}

TEST_F(SequencerTest, AClosedNobodyAskedForEndsPlaybackLikeALoss) {
    press();
    runTicks(3);
    sequencer.onDeviceClosed();
    EXPECT_FALSE(sequencer.deviceOpen());
    EXPECT_FALSE(rec.keyed);
    EXPECT_FALSE(rec.running);
    EXPECT_EQ(rec.losses.size(), 1u);
}

TEST_F(SequencerTest, TheStreamIsTheTableWithoutGapsThenSilencePastItsEnd) {
    // 125 ms dots (5512.5 samples, so ticks and blocks never line up), 16538 pattern samples
    // that run on past the first 64 blocks into the refills, and a table of 33077 samples that
    // the stream outruns long before the restart.
    pattern = painted(withParameters(vesk::resetPattern(), 125, 2, 60));
    press();
    runTicks(59);
    const std::int64_t n = sequencer.sound().sampleCount();
    ASSERT_EQ(n, 16538);
    const auto& heard = audio.playedSamples();
    ASSERT_GT(static_cast<std::int64_t>(heard.size()), 10 * n);
    expectTableAt(0, n);
    EXPECT_TRUE(std::all_of(heard.begin() + n, heard.end(), [](std::int16_t s) { return s == 0; }));
    EXPECT_EQ(audio.underrunSamples(), 0);
}

TEST_F(SequencerTest, AShorterSoundLoadedWhilePlayingIsReadAsSilencePastItsEnd) {
    press();
    runTicks(30);
    const BeaconPattern shorter = painted(withParameters(vesk::resetPattern(), 100, 0, 200));
    vesk::RenderResult loaded = vesk::renderPattern(shorter, kAmplitude);
    ASSERT_TRUE(loaded.ok);
    ASSERT_LT(loaded.sound.sampleCount(), sequencer.playPosition());
    const std::size_t writtenBefore = audio.writtenSamples().size();
    sequencer.replaceSound(shorter, std::move(loaded.sound));
    runTicks(20);
    const auto& stream = audio.writtenSamples();
    ASSERT_GT(stream.size(), writtenBefore);
    EXPECT_TRUE(std::all_of(stream.begin() + static_cast<std::ptrdiff_t>(writtenBefore),
                            stream.end(), [](std::int16_t s) { return s == 0; }));
    // The new dot count applies at once and the counter is past it, but the blocks queued
    // before the change still carry the old pattern: the release waits until the first block
    // of the new table has come back.
    const int released = firstReleasedTick(31);
    ASSERT_GT(released, 0);
    const auto oldEnd = static_cast<std::int64_t>(writtenBefore);
    EXPECT_GE(ticks[static_cast<std::size_t>(released - 1)].played, oldEnd + 128);
    EXPECT_LT(ticks[static_cast<std::size_t>(released - 2)].played, oldEnd + 128);
}

} // namespace
