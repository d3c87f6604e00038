// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone/sequencer.h"

#include "platform/sound_format.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace vesk {

using platform::AudioEvent;

namespace {

// Samples in `dots` dots of `dotLength` ms, ties to even; beyond any real stream (2^62) for
// the longest repeats the fields allow.
std::int64_t samplesOfDots(std::int64_t dots, std::int32_t dotLength) {
    const long double exact = static_cast<long double>(dots) * kSampleRate *
                              static_cast<long double>(dotLength) / 1000.0L;
    constexpr long double kLimit = 4.6e18L;
    return exact >= kLimit ? static_cast<std::int64_t>(kLimit)
                           : static_cast<std::int64_t>(std::nearbyint(exact));
}

} // namespace

Sequencer::Sequencer(platform::AudioOut& audio, platform::DotTimer& timer, Transmitter& transmitter,
                     SequencerView& view)
    : audio_(audio), timer_(timer), transmitter_(transmitter), view_(view) {}

void Sequencer::start(const BeaconPattern& pattern, std::int32_t amplitude, int soundcardIndex) {
    if (state_ != PlaybackState::Idle) {
        return;
    }
    restartCycle();
    turnOn(pattern, amplitude, soundcardIndex);
}

void Sequencer::stop() {
    // The device stays open while the queue drains after a Turn Off: a second stop in that
    // time has nothing left to do.
    if (state_ == PlaybackState::Idle || state_ == PlaybackState::Draining) {
        return;
    }
    restartCycle();
    turnOff();
}

void Sequencer::restartCycle() {
    timer_.stop();
    timerRunning_ = false;
    dotCounter_ = 0;
    view_.cycleRestarted();
}

std::optional<PatternStream> Sequencer::renderForPlayback(const BeaconPattern& pattern,
                                                          std::int32_t amplitude) {
    Result<PatternStream> result =
        makePatternStream(pattern, amplitude, [this](int blocks) { view_.renderProgress(blocks); });
    view_.renderFinished();
    if (!result) {
        view_.renderRefused(result.message());
        return std::nullopt;
    }
    return std::move(result).value();
}

bool Sequencer::loadPattern(const BeaconPattern& pattern, std::int32_t amplitude) {
    std::optional<PatternStream> sound = renderForPlayback(pattern, amplitude);
    if (!sound) {
        return false;
    }
    replaceSound(pattern, std::move(*sound));
    return true;
}

void Sequencer::turnOn(const BeaconPattern& pattern, std::int32_t amplitude, int soundcardIndex) {
    startAt_ = std::exchange(startTime_, -1);
    std::optional<PatternStream> sound = renderForPlayback(pattern, amplitude);
    if (!sound) {
        return;
    }
    sound_ = std::move(*sound);
    loaded_.reset();
    // The render has refused any parameter outside its limits.
    dotCount_ = pattern.dotCount;
    repeatDots_ = pattern.repeatDots;
    dotSamples_ = std::int64_t{pattern.dotLength} * kSampleRate / 1000;
    dotLength_ = pattern.dotLength;
    clock_ = clockTiming_;
    cyclesHeard_ = 0;
    if (const Result<> opened = openOutput(soundcardIndex); !opened) {
        view_.openFailed(opened.message());
    }
}

Result<> Sequencer::resume() {
    if (state_ != PlaybackState::Idle || sound_.empty()) {
        return fail("nothing to resume");
    }
    // A cycle whose pattern had been heard to its end when the sound stopped counts as played:
    // only its silent rest was cut.
    if (cycleStart_ >= 0 && played_ >= cycleStart_ + sound_.sampleCount()) {
        ++cyclesHeard_;
        cycleStart_ = -1;
    }
    restartCycle();
    return openOutput(std::nullopt);
}

Result<> Sequencer::openOutput(std::optional<int> soundcardIndex) {
    // On the clock the views start with each cycle as it is heard.
    if (!onClock()) {
        timer_.start(dotLength_);
        timerRunning_ = true;
    }
    view_.parametersLocked(true);

    SoundFormat format;
    fillSoundFormat(format, 1, kSampleRate, 16);
    const std::uint64_t session = ++session_;
    platform::AudioListener listener = [this, session](AudioEvent event, int block) {
        if (session != session_) {
            return;
        }
        if (route_) {
            route_(event, block);
        } else {
            handleAudioEvent(event, block);
        }
    };
    const Result<> opened = soundcardIndex ? audio_.open(*soundcardIndex, format, listener)
                                           : audio_.reopen(format, listener);
    if (!opened) {
        // Without a device there is nothing to key for: undo what the start did before the
        // operator sees the message.
        timer_.stop();
        timerRunning_ = false;
        view_.parametersLocked(false);
        return opened;
    }
    opened_ = false;
    closeAccepted_ = false;
    blockQueued_.fill(false);
    // The first cycle follows a short silence, so that it too is keyed ahead of its first
    // sample by the played-sample clock; nothing is keyed before the device plays. It lasts
    // repeatDots dots (a repeat of 0: one), the later ones repeatDots + 1. After a loss the
    // count goes on from the cycles heard: the one cut short is not counted.
    playPosition_ = sound_.sampleCount();
    written_ = 0;
    played_ = 0;
    cycleStart_ = -1;
    patternFloor_ = 0;
    nextStarts_.clear();
    nextStartAt_ = kLeadInSamples;
    nextPeriod_ = samplesOfDots(std::max(repeatDots_, 1), dotLength_);
    cyclesWritten_ = cyclesHeard_;
    finishing_ = cycleLimit_ > 0 && cyclesWritten_ >= cycleLimit_;
    underrunsReported_ = 0;
    nextTransmission_ = -1;
    missedStart_ = false;
    wallOffset_ = wallClock_->now() - steadyClock_->now();
    if (startAt_ >= 0) {
        planTransmission(startAt_);
        placeOnClock();
    } else if (clock_.onTheClock()) {
        planTransmission(nextClockBoundary(wallClock_->now() + kClockFirstMarginNs, clock_));
        placeOnClock();
    }
    state_ = PlaybackState::Opening;
    return {};
}

std::int64_t Sequencer::sampleAtWallTime(UtcNanoseconds time) const {
    // The converter is at `played` now; samples after it follow at the sample rate. Before
    // the device can tell, the stream is taken to start now and the placement is corrected
    // block by block once it can.
    const std::int64_t position = audio_.playedPosition();
    const std::int64_t played = position >= 0 ? position : played_;
    const long double ahead =
        static_cast<long double>(time - wallClock_->now()) * kSampleRate / 1.0e9L;
    return played + static_cast<std::int64_t>(std::llround(ahead));
}

void Sequencer::planTransmission(UtcNanoseconds at) {
    nextTransmission_ = at;
    view_.nextTransmission(at);
}

void Sequencer::placeOnClock() {
    // Placed afresh for every block written until the cycle's first sample is written, so
    // that the start follows the device's clock as it reports it.
    std::int64_t at = sampleAtWallTime(nextTransmission_);
    if (at < written_ && written_ - at > kClockToleranceSamples && startAt_ >= 0) {
        // A single transmission has no later boundary: none rather than a late one. The
        // output closes once the device has played what was written (followPlayedSamples).
        missedStart_ = true;
        finishing_ = true;
        planTransmission(-1);
        return;
    }
    if (at < written_ && written_ - at > kClockToleranceSamples) {
        // Missed (the process was held up): the next boundary instead of a late cycle.
        planTransmission(nextClockBoundary(nextTransmission_ + 1, clock_));
        at = sampleAtWallTime(nextTransmission_);
    }
    nextStartAt_ = std::max(at, written_);
}

void Sequencer::noticeClockStep() {
    const std::int64_t offset = wallClock_->now() - steadyClock_->now();
    const std::int64_t step = offset - wallOffset_;
    wallOffset_ = offset;
    if (step > -kClockStepNs && step < kClockStepNs) {
        return;
    }
    if (clock_.onTheClock() && startAt_ < 0 && !finishing_) {
        replanAfterStep();
    }
    view_.clockStepped(step);
}

void Sequencer::replanAfterStep() {
    // The boundary planned before the step was found from UTC times that have moved: the next
    // one on the clock as it reads now, once the last cycle written has been heard. A single
    // transmission keeps its time; placeOnClock finds where it falls now.
    const std::int64_t lastStart = !nextStarts_.empty() ? nextStarts_.back() : cycleStart_;
    UtcNanoseconds earliest = wallClock_->now();
    if (lastStart >= 0) {
        const std::int64_t position = audio_.playedPosition();
        const std::int64_t played = position >= 0 ? position : played_;
        const std::int64_t heardAt = lastStart + std::max(sound_.sampleCount(), dotSamples_);
        earliest += static_cast<std::int64_t>(
            std::llround(static_cast<long double>(heardAt - played) * 1.0e9L / kSampleRate));
    }
    planTransmission(nextClockBoundary(std::max(earliest, wallClock_->now()), clock_));
}

void Sequencer::key(bool keyed) {
    keyed_ = keyed;
    if (keyed) {
        transmitter_.pttOn();
    } else {
        transmitter_.pttOff();
    }
}

void Sequencer::turnOff() {
    key(false);
    view_.playingChanged(false);
    playPosition_ = 0;
    dotCounter_ = 0;
    nextStarts_.clear();
    planTransmission(-1);
    view_.parametersLocked(false);
    if (state_ != PlaybackState::Closing) {
        state_ = PlaybackState::Draining;
    }
    if (!anyBlockQueued()) {
        tryClose();
    }
}

void Sequencer::fillAndWrite(int block) {
    std::array<std::int16_t, kBufferSamples> samples;
    takeLoadedSound();
    // Where a cycle starts in this block, what comes before it continues the cycle before
    // and from that sample on the table starts again from sample 0. Cycles are a whole
    // number of samples apart, so the beacon's period is exact whatever the timer does.
    int filled = 0;
    const bool playing = state_ == PlaybackState::Playing;
    if (playing) {
        noticeClockStep();
    }
    if (onClock() && playing && !finishing_) {
        placeOnClock();
    }
    while (playing && !finishing_ && nextStartAt_ < written_ + kBufferSamples) {
        const int start = static_cast<int>(std::max<std::int64_t>(nextStartAt_ - written_, filled));
        sound_.copySamples(playPosition_ + filled, samples.data() + filled, start - filled);
        filled = start;
        playPosition_ = -filled;
        nextStarts_.push_back(written_ + filled);
        ++cyclesWritten_;
        finishing_ = startAt_ >= 0 || (cycleLimit_ > 0 && cyclesWritten_ >= cycleLimit_);
        if (!onClock()) {
            nextStartAt_ = written_ + filled + nextPeriod_;
            nextPeriod_ = samplesOfDots(std::int64_t{repeatDots_} + 1, dotLength_);
        } else if (finishing_) {
            planTransmission(-1);
        } else {
            // The next boundary once this cycle's pattern (at least a dot) has been heard.
            const std::int64_t length = std::max(sound_.sampleCount(), dotSamples_);
            const auto heardFor = static_cast<std::int64_t>(
                std::llround(static_cast<long double>(length) * 1.0e9L / kSampleRate));
            planTransmission(nextClockBoundary(nextTransmission_ + heardFor, clock_));
            placeOnClock();
        }
    }
    sound_.copySamples(playPosition_ + filled, samples.data() + filled, kBufferSamples - filled);
    for (std::size_t j = 0; j < samples.size(); ++j) {
        const auto value = static_cast<std::uint16_t>(samples[j]);
        bytes_[2 * j] = static_cast<std::uint8_t>(value & 0xFFu);
        bytes_[2 * j + 1] = static_cast<std::uint8_t>(value >> 8);
    }
    const auto slot = static_cast<std::size_t>(block);
    blockQueued_[slot] = audio_.write(block, bytes_.data(), bytes_.size());
    if (blockQueued_[slot]) {
        written_ += kBufferSamples;
        blockEnd_[slot] = written_;
    }
    playPosition_ += kBufferSamples;
}

bool Sequencer::anyBlockQueued() const {
    return std::any_of(blockQueued_.begin(), blockQueued_.end(),
                       [](bool queued) { return queued; });
}

void Sequencer::tryClose() {
    // Before Opened nothing may be asked of the device; Opened itself tries again.
    if (state_ == PlaybackState::Idle || !opened_ || closeAccepted_) {
        return;
    }
    // Refused while blocks are queued; the next returned block asks again.
    closeAccepted_ = audio_.close();
}

void Sequencer::onDeviceOpened() {
    if (state_ == PlaybackState::Idle || opened_) {
        return;
    }
    opened_ = true;
    if (state_ != PlaybackState::Opening) {
        // Stopped before the device was ready: nothing was queued, so it closes at once and
        // the button never shows "Turn Off" for a stream that will not play.
        tryClose();
        return;
    }
    state_ = PlaybackState::Playing;
    view_.playingChanged(true);
    // The 64 blocks are kept queued ahead of whatever the device buffers itself.
    const std::int64_t deviceBlocks =
        (std::max<std::int64_t>(audio_.latencySamples(), 0) + kBufferSamples - 1) / kBufferSamples;
    blocksInFlight_ =
        static_cast<int>(std::min<std::int64_t>(kOutputBuffers + deviceBlocks, kMaxBlocksInFlight));
    for (int block = 0; block < blocksInFlight_; ++block) {
        fillAndWrite(block);
    }
}

void Sequencer::onBufferDone(int block) {
    if (state_ == PlaybackState::Idle || !opened_ || block < 0 || block >= blocksInFlight_) {
        return;
    }
    const auto slot = static_cast<std::size_t>(block);
    if (!blockQueued_[slot]) {
        return;
    }
    blockQueued_[slot] = false;
    played_ = std::max(played_, blockEnd_[slot]);
    followPlayedSamples();
    if (state_ != PlaybackState::Playing) {
        tryClose();
        return;
    }
    fillAndWrite(block);
}

void Sequencer::followPlayedSamples() {
    // A cycle whose first sample has been played is the one being heard; the one before it
    // is over.
    while (!nextStarts_.empty() && played_ >= nextStarts_.front()) {
        if (cycleStart_ >= 0) {
            ++cyclesHeard_;
            const std::int64_t underruns = audio_.underruns();
            view_.cyclePlayed(cyclesHeard_, underruns - underrunsReported_);
            underrunsReported_ = underruns;
        }
        cycleStart_ = nextStarts_.front();
        nextStarts_.pop_front();
        if (onClock()) {
            // The views follow the cycle now heard, from its first slot.
            dotCounter_ = 0;
            view_.cycleRestarted();
            timer_.start(dotLength_);
            timerRunning_ = true;
        }
    }
    // The next cycle's start, written or still to come; none once the last one of a limit
    // has been written.
    const bool another = !nextStarts_.empty() || !finishing_;
    const std::int64_t nextStart = nextStarts_.empty() ? nextStartAt_ : nextStarts_.front();
    const bool playing = state_ == PlaybackState::Playing;
    if (!keyed_ && playing && another && played_ >= nextStart - kKeyLeadSamples) {
        key(true);
        return;
    }
    if (missedStart_ && playing) {
        missedStart_ = false;
        close();
        return;
    }
    if (cycleStart_ < 0) {
        return;
    }
    // The pattern ends after its last sample, or where the next cycle cut it off.
    std::int64_t patternEnd = std::max(cycleStart_ + sound_.sampleCount(), patternFloor_);
    if (!nextStarts_.empty()) {
        patternEnd = std::min(patternEnd, nextStarts_.front());
    }
    if (played_ < patternEnd) {
        return;
    }
    if (finishing_ && nextStarts_.empty() && playing) {
        // The last cycle of the limit has been heard: release and end as a close does.
        key(false);
        ++cyclesHeard_;
        view_.cyclePlayed(cyclesHeard_, audio_.underruns() - underrunsReported_);
        underrunsReported_ = audio_.underruns();
        close();
        return;
    }
    if (!keyed_) {
        return;
    }
    // A silence shorter than one dot before the next key is no release: a relay or a
    // sequencer would only chatter.
    if (nextStart - kKeyLeadSamples - played_ >= dotSamples_) {
        key(false);
    }
}

void Sequencer::onDeviceClosed() {
    if (state_ == PlaybackState::Idle) {
        return;
    }
    if (state_ == PlaybackState::Opening || state_ == PlaybackState::Playing) {
        // Closed by the output itself while playing: the sound is gone just as after a loss.
        endAfterLoss(false);
        return;
    }
    const bool closing = state_ == PlaybackState::Closing;
    opened_ = false;
    closeAccepted_ = false;
    blockQueued_.fill(false);
    state_ = PlaybackState::Idle;
    view_.playingChanged(false);
    if (closing) {
        timer_.stop();
        timerRunning_ = false;
        view_.closed();
    }
}

void Sequencer::onDeviceLost() {
    if (state_ == PlaybackState::Idle) {
        return;
    }
    endAfterLoss(true);
}

void Sequencer::endAfterLoss(bool closeDevice) {
    // Forget the device: its Closed and any late notification are dropped from now on.
    const bool closing = state_ == PlaybackState::Closing;
    ++session_;
    timer_.stop();
    timerRunning_ = false;
    // A lost output has closed itself; one that closed while playing needs nothing more.
    if (closeDevice && audio_.isOpen()) {
        audio_.close();
    }
    state_ = PlaybackState::Idle;
    opened_ = false;
    closeAccepted_ = false;
    blockQueued_.fill(false);
    nextStarts_.clear();
    dotCounter_ = 0;
    // Told first: an owner that waits for the output to come back shows no Turn Off between.
    view_.deviceLost();
    view_.cycleRestarted();
    key(false);
    view_.playingChanged(false);
    playPosition_ = 0;
    view_.parametersLocked(false);
    planTransmission(-1);
    if (closing) {
        view_.closed();
    }
}

bool Sequencer::close() {
    if (state_ == PlaybackState::Idle) {
        return false;
    }
    // The window ends when the queued sound has played out and the device has closed; the
    // transmitter is released now, since no cycle will be keyed again.
    if (keyed_) {
        key(false);
    }
    nextStarts_.clear();
    planTransmission(-1);
    state_ = PlaybackState::Closing;
    if (!anyBlockQueued()) {
        tryClose();
    }
    return true;
}

void Sequencer::onDotTimer() {
    if (!timerRunning_) {
        return;
    }
    if (onClock()) {
        tickOnClock();
        return;
    }
    dotCounter_ = static_cast<std::int32_t>((std::int64_t{dotCounter_} + 1) %
                                            (std::int64_t{repeatDots_} + 1));
    // The bar grows through the pattern, then on through the silent rest; a repeat of 0
    // restarts at every tick, so one dot then fills it.
    CycleProgress progress;
    progress.dot = dotCounter_ <= dotCount_ && dotCounter_ <= kMaxDotCount ? dotCounter_ : -1;
    progress.cycleDots = repeatDots_ > 0 ? repeatDots_ : 1;
    progress.barTo = std::int64_t{dotCounter_} + 1;
    progress.sounding = dotCount_ > dotCounter_;
    progress.barFrom = progress.sounding ? 0 : dotCount_;
    view_.showProgress(progress);
    if (dotCounter_ == repeatDots_) {
        // The views start the cycle again; the sound does so on its own sample clock.
        view_.cycleRestarted();
        if (finishing_) {
            timer_.stop();
            timerRunning_ = false;
        }
    }
}

void Sequencer::tickOnClock() {
    // One pass over the pattern per cycle heard; the bar shows how much of it has sounded.
    dotCounter_ = std::min(dotCounter_ + 1, dotCount_);
    CycleProgress progress;
    progress.dot = dotCounter_;
    progress.barTo = std::int64_t{dotCounter_} + 1;
    progress.cycleDots = std::int64_t{dotCount_} + 1;
    view_.showProgress(progress);
    if (dotCounter_ >= dotCount_) {
        timer_.stop();
        timerRunning_ = false;
    }
}

void Sequencer::handleAudioEvent(platform::AudioEvent event, int block) {
    switch (event) {
    case AudioEvent::Opened:
        onDeviceOpened();
        break;
    case AudioEvent::BlockDone:
        onBufferDone(block);
        break;
    case AudioEvent::Closed:
        onDeviceClosed();
        break;
    case AudioEvent::Lost:
        onDeviceLost();
        break;
    }
}

void Sequencer::setAudioRoute(platform::AudioListener route) {
    route_ = std::move(route);
}

void Sequencer::resetDotCounter(bool stopTimer) {
    if (stopTimer) {
        timer_.stop();
        timerRunning_ = false;
    }
    dotCounter_ = 0;
}

void Sequencer::replaceSound(const BeaconPattern& pattern, PatternStream sound) {
    loaded_ = std::move(sound);
    dotCount_ = pattern.dotCount;
    repeatDots_ = pattern.repeatDots;
    takeLoadedSound();
}

void Sequencer::takeLoadedSound() {
    // Without a device nothing is read until the next Turn On makes its own stream.
    if (!loaded_ ||
        (state_ != PlaybackState::Idle && !loaded_->prepare(playPosition_, kCatchUpSamples))) {
        return;
    }
    sound_ = std::move(*loaded_);
    loaded_.reset();
    // Blocks already queued carry the old pattern: the pattern heard now ends no earlier than
    // they do.
    patternFloor_ = written_;
}

} // namespace vesk
