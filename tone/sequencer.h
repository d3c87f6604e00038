// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/audio_out.h"
#include "platform/dot_timer.h"
#include "tone/clock_timing.h"
#include "tone/pattern.h"
#include "tone/pattern_stream.h"

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace vesk {

// The output ring: 64 blocks of 128 samples (256 bytes), 8192 samples (about 186 ms) queued
// ahead of what the device takes; the device's own buffer comes on top, in more blocks.
inline constexpr int kOutputBuffers = 64;
inline constexpr int kBufferSamples = 128;
inline constexpr int kBufferBytes = kBufferSamples * 2;
// Blocks in flight at most: the 64 plus a device buffer of up to about 1.3 s.
inline constexpr int kMaxBlocksInFlight = 512;
// The transmitter is keyed this long before the first sample of each cycle is played, in
// samples (240 ms): long enough for a relay or an amplifier's sequencer to settle, and still
// at least 20 ms when the whole process is held up for 200 ms just as the key falls due.
inline constexpr std::int64_t kKeyLeadSamples = 10584;
// Silence played before the first cycle, in samples (140 blocks, about 406 ms): the key lead
// and 166 ms more, so that even the first cycle is keyed from the played-sample clock once the
// device has shown that it plays (its first buffer and a period of it played), and a stop that
// comes before the device has played anything keys nothing.
inline constexpr std::int64_t kLeadInSamples = 140 * kBufferSamples;

// On the clock, a cycle whose boundary has slipped behind what is already written starts at
// once if it is late by no more than this (20 ms); later than that it waits for the next one.
inline constexpr std::int64_t kClockToleranceSamples = 882;
// On the clock, the first boundary is at least this far (1 s) after Turn On: time to open the
// device, fill its buffer and key the transmitter ahead of the first sample.
inline constexpr std::int64_t kClockFirstMarginNs = 1'000'000'000;
// A change of the wall clock against the steady clock beyond this (20 ms) between two blocks is
// a step (set by hand or by a time-sync daemon), not the slow slewing of a synchronised clock.
inline constexpr std::int64_t kClockStepNs = 20'000'000;

// Samples a stream loaded during playback walks toward the play position per block written
// (about 1 ms of work): it replaces the sound being read once it has caught up.
inline constexpr std::int64_t kCatchUpSamples = std::int64_t{1} << 20;

// How far the cycle being heard has got, in dots, for the pattern strip and the cycle bar. The
// views scale it to their own size.
struct CycleProgress {
    // The slot reached, 0..600: slots 0 to `dot` have been played; -1 when the cycle is past
    // what the strip shows (a repeat beyond the pattern's last slot).
    std::int32_t dot = 0;
    // The newest stretch of the cycle, from `barFrom` to `barTo` dots out of `cycleDots` (at
    // least 1); `sounding` while it lies in the pattern, false in the silent rest.
    std::int64_t barFrom = 0;
    std::int64_t barTo = 0;
    std::int64_t cycleDots = 1;
    bool sounding = true;
    bool operator==(const CycleProgress&) const = default;
};

// Keys and releases the transmitter (and shows the PTT state).
class Transmitter {
public:
    virtual ~Transmitter() = default;
    virtual void pttOn() = 0;
    virtual void pttOff() = 0;
};

// What playback tells its owner, who shows it. Every call comes from inside one of the
// sequencer's entry points: an owner must not call back into the sequencer from it.
class SequencerView {
public:
    virtual ~SequencerView() = default;
    // True once the opened device plays, false when playback has been turned off, has closed
    // or has been lost.
    virtual void playingChanged(bool /*playing*/) {}
    // True from Turn On until playback is off again: the parameters may not change meanwhile.
    virtual void parametersLocked(bool /*locked*/) {}
    // The views start the cycle over (Turn On, Turn Off, each new cycle): progress clears.
    virtual void cycleRestarted() {}
    // One dot time of the cycle has passed.
    virtual void showProgress(const CycleProgress& /*progress*/) {}
    // Render progress: blocks 10 (just started) down to 0.
    virtual void renderProgress(int /*blocks*/) {}
    // The render is over, done or refused.
    virtual void renderFinished() {}
    // The sound output could not be opened; nothing plays. `reason` names the output and says
    // why ("the system default output: Device unavailable").
    virtual void openFailed(const std::string& /*reason*/) {}
    // The render refused the pattern; `message` says why.
    virtual void renderRefused(const std::string& /*message*/) {}
    // The sound output went away while playing; playback is off.
    virtual void deviceLost() {}
    // A close request is complete: the device has closed, or was lost.
    virtual void closed() {}
    // Cycle `cycle` (1, 2, ...) has been played to its end; `underruns` gaps in the sound
    // happened while it played.
    virtual void cyclePlayed(long /*cycle*/, std::int64_t /*underruns*/) {}
    // On the clock: the next cycle's first sample is due at `at`; -1 when none is planned
    // (stopped, or the last cycle of a limit has been written).
    virtual void nextTransmission(UtcNanoseconds /*at*/) {}
    // While the device is open the wall clock stepped by `stepNs` (negative: back) against the
    // steady clock; cycles on the clock not yet written have been placed on it again.
    virtual void clockStepped(std::int64_t /*stepNs*/) {}
};

// Playback, the one record every decision of the sequencer reads.
enum class PlaybackState {
    Idle,     // no device open
    Opening,  // the device is opening; it plays once Opened arrives
    Playing,  // blocks are written as the device returns them
    Draining, // turned off: the queued blocks play out, then the device closes
    Closing,  // a close request: as Draining, and the window ends once the device has closed
};

// Streams the pattern through the output ring, rendered block by block as it is written. The dot
// timer counts the slots of the repeat cycle and sends the sound back to the start; the transmitter
// follows the played samples, as the device reports them: keyed kKeyLeadSamples before a cycle's
// first sample is heard, released once its pattern has been heard, and never keyed or released for
// less than one dot within the cycles. Every entry point runs on the thread that owns the audio
// output; none of them renders more than a few blocks ahead of the device.
class Sequencer {
public:
    Sequencer(platform::AudioOut& audio, platform::DotTimer& timer, Transmitter& transmitter,
              SequencerView& view);
    Sequencer(const Sequencer&) = delete;
    Sequencer& operator=(const Sequencer&) = delete;

    // Turn On, when Idle: renders the pattern for playback and opens output `soundcardIndex`
    // (-1: the system default) at peak `amplitude` (0..32767).
    void start(const BeaconPattern& pattern, std::int32_t amplitude, int soundcardIndex);
    // After the output was lost (Idle again): opens the output of the last Turn On again, by
    // its name, and plays the same sound from a new lead-in (on the clock: the next boundary);
    // the cycle count and a cycle limit go on from the cycles heard before the loss. A failure
    // says why the output did not open.
    Result<> resume();
    // Turn Off, while opening, playing or closing: the transmitter is released at once and
    // the queued sound plays out before the device closes. Nothing while Idle or Draining.
    void stop();
    // A close request. True: the owner must wait until the device has closed (then
    // SequencerView::closed); false: nothing plays, the owner may end now.
    bool close();
    // A pattern loaded from a file: renders it for playback as start() does and, if the render
    // takes it, hands it to replaceSound. False when the render refused it (reported).
    bool loadPattern(const BeaconPattern& pattern, std::int32_t amplitude);
    // One dot time has passed.
    void onDotTimer();
    void onDeviceOpened();
    // Output block `block` (0 .. blocks in flight - 1) has been played.
    void onBufferDone(int block);
    void onDeviceClosed();
    void onDeviceLost();

    // Routes one device notification to the matching entry point above.
    void handleAudioEvent(platform::AudioEvent event, int block);
    // Where device notifications go, e.g. posted as window messages that come back through
    // handleAudioEvent. Without a route they are handled on arrival. Notifications of a
    // device that has been forgotten (after a loss) are dropped before the route.
    void setAudioRoute(platform::AudioListener route);

    // Plays `cycles` cycles (0: no limit) from the next Turn On, then releases the
    // transmitter once the last one has been heard and ends as a close request does.
    void setCycleLimit(long cycles) { cycleLimit_ = cycles; }
    long cycleLimit() const { return cycleLimit_; }
    // From the next Turn On, each cycle starts at the next boundary of `timing` after the one
    // before it has been heard (at least kClockFirstMarginNs after Turn On for the first),
    // instead of at the pattern's repeat interval; the views then follow each cycle as it is
    // heard. The timing must pass checkClockTiming, or be off.
    void setClockTiming(const ClockTiming& timing) { clockTiming_ = timing; }
    const ClockTiming& clockTiming() const { return clockTiming_; }
    // The next Turn On only: one cycle whose first sample is heard at `at` (UTC, at least
    // kClockFirstMarginNs ahead), whatever the clock timing and the cycle limit; then the
    // output closes as after a limit (SequencerView::closed). A start that slips past `at` by
    // more than kClockToleranceSamples keys nothing and closes the output the same way.
    void setStartTime(UtcNanoseconds at) { startTime_ = at; }
    // The UTC clock that boundaries are kept on (the system's by default).
    void setWallClock(const WallClock& clock) { wallClock_ = &clock; }
    // The clock that tells a step of the wall clock from time passing (the system's by
    // default); it moves with the wall clock but for the steps.
    void setSteadyClock(const SteadyClock& clock) { steadyClock_ = &clock; }
    // On the clock while playing: when the next cycle not yet written starts; -1 otherwise.
    UtcNanoseconds nextTransmission() const { return nextTransmission_; }

    // The parameters changed (Apply, Reset): the cycle counts from slot 0 again, and with
    // `stopTimer` the dot timer stops.
    void resetDotCounter(bool stopTimer);

    // A stream made elsewhere (a pattern loaded while playing, its parameters within their
    // limits) replaces what playback reads;
    // its dot count and repeat apply from the next tick, the timer keeps its period. Its
    // samples are read from the play position as soon as its phase has got there (at once
    // for any position its first dots reach; a walk of kCatchUpSamples per block beyond),
    // so that no block waits for it.
    void replaceSound(const BeaconPattern& pattern, PatternStream sound);

    // Slot of the repeat cycle, 0..repeatDots.
    std::int32_t dotCounter() const { return dotCounter_; }
    // Sample table index of the next block's first sample; advances by 128 per block and
    // goes back so that each cycle's first sample is table sample 0.
    std::int64_t playPosition() const { return playPosition_; }
    // True from a successful open until the device has closed or been lost.
    bool deviceOpen() const { return state_ != PlaybackState::Idle; }
    PlaybackState state() const { return state_; }
    // The stream of the last Turn On (or the one given to replaceSound, once it is read).
    const PatternStream& sound() const { return sound_; }
    // Cycles heard to their end since Turn On (a resume goes on counting).
    long cyclesHeard() const { return cyclesHeard_; }
    // The cycle limit has been written: no cycle is to come.
    bool finishing() const { return finishing_; }

private:
    // The one render before playback, for start() and loadPattern(): progress, the end of the
    // render and a refusal go to the view.
    std::optional<PatternStream> renderForPlayback(const BeaconPattern& pattern,
                                                   std::int32_t amplitude);
    // What Turn On and Turn Off both do first: the timer stops and the cycle starts at slot 0.
    void restartCycle();
    void turnOn(const BeaconPattern& pattern, std::int32_t amplitude, int soundcardIndex);
    // Opens output `soundcardIndex`, or the last one again by name, and prepares the playback
    // of sound_ from a new lead-in.
    Result<> openOutput(std::optional<int> soundcardIndex);
    void turnOff();
    void fillAndWrite(int block);
    void tryClose();
    bool anyBlockQueued() const;
    void endAfterLoss(bool closeDevice);
    void followPlayedSamples();
    void key(bool keyed);
    void takeLoadedSound();
    std::int64_t sampleAtWallTime(UtcNanoseconds time) const;
    void planTransmission(UtcNanoseconds at);
    void placeOnClock();
    // Compares the wall clock with the steady clock; after a step, tells the view and plans
    // the next boundary afresh.
    void noticeClockStep();
    void replanAfterStep();
    void tickOnClock();
    // Cycles start on the wall clock: a clock timing, or one transmission at a set time.
    bool onClock() const { return clock_.onTheClock() || startAt_ >= 0; }

    platform::AudioOut& audio_;
    platform::DotTimer& timer_;
    Transmitter& transmitter_;
    SequencerView& view_;
    platform::AudioListener route_;

    PatternStream sound_;
    std::optional<PatternStream> loaded_; // replaces sound_ once it has reached the position
    std::int32_t dotCount_ = 0;
    std::int32_t repeatDots_ = 0;

    PlaybackState state_ = PlaybackState::Idle;
    // The device's handshake within a state other than Idle, and the dot timer's own fact.
    bool opened_ = false;        // Opened has arrived for the open device
    bool closeAccepted_ = false; // close() succeeded; Closed is on its way
    bool timerRunning_ = false;
    std::uint64_t session_ = 0; // bumped at every open and loss; stale notifications drop
    std::int32_t dotCounter_ = 0;
    std::int64_t playPosition_ = 0;

    // The stream of samples written since the open, and how far the device has played it.
    // A block remembers where in that stream it ends; a cycle where in it it starts.
    int blocksInFlight_ = kOutputBuffers;
    std::int64_t written_ = 0;
    std::int64_t nextStartAt_ = 0; // where the next cycle not yet written will start
    std::int64_t nextPeriod_ = 0;  // samples from that start to the one after it
    std::int32_t dotLength_ = 1;
    std::int64_t played_ = 0;
    std::int64_t dotSamples_ = 0;
    std::int64_t cycleStart_ = -1;        // the cycle being heard; -1 before the first
    std::int64_t patternFloor_ = 0;       // blocks of an older table end the pattern no earlier
    std::deque<std::int64_t> nextStarts_; // cycles written and not yet heard
    bool keyed_ = false;
    bool finishing_ = false; // the last cycle of a limit has been written
    long cycleLimit_ = 0;
    ClockTiming clockTiming_;
    ClockTiming clock_;             // the timing of the playback under way
    UtcNanoseconds startTime_ = -1; // setStartTime, for the next Turn On
    UtcNanoseconds startAt_ = -1;   // the single transmission under way; -1 for none
    bool missedStart_ = false;      // it slipped: the output closes unkeyed
    const WallClock* wallClock_ = &systemWallClock();
    const SteadyClock* steadyClock_ = &systemSteadyClock();
    std::int64_t wallOffset_ = 0; // wall clock less steady clock at the last block written
    UtcNanoseconds nextTransmission_ = -1;
    long cyclesWritten_ = 0;
    long cyclesHeard_ = 0;
    std::int64_t underrunsReported_ = 0;
    std::array<std::int64_t, kMaxBlocksInFlight> blockEnd_{};
    std::array<bool, kMaxBlocksInFlight> blockQueued_{};
    std::array<std::uint8_t, kBufferBytes> bytes_{};
};

} // namespace vesk
