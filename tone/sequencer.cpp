#include "tone/sequencer.h"

#include "tone/sound_format.h"

#include <algorithm>
#include <utility>

namespace vesk {

using platform::AudioEvent;

Sequencer::Sequencer(platform::AudioOut& audio, DotTimer& timer, Transmitter& transmitter,
                     SequencerView& view)
    : audio_(audio), timer_(timer), transmitter_(transmitter), view_(view) {}

void Sequencer::togglePlayback(const BeaconPattern& pattern, std::int32_t amplitude,
                               int soundcardIndex) {
    timer_.stop();
    timerRunning_ = false;
    dotCounter_ = 0;
    view_.redrawPatternViews();
    // The device stays open while the queue drains after a Turn Off, so a press in that time
    // stops again instead of starting a second stream.
    if (!deviceOpen_) {
        turnOn(pattern, amplitude, soundcardIndex);
    } else {
        turnOff();
    }
}

void Sequencer::turnOn(const BeaconPattern& pattern, std::int32_t amplitude, int soundcardIndex) {
    RenderResult result =
        renderPattern(pattern, amplitude, [this](int blocks) { view_.showRenderProgress(blocks); });
    view_.renderFinished();
    if (!result.ok) {
        view_.reportRenderRefused(result.error);
        return;
    }
    sound_ = std::move(result.sound);
    dotCount_ = std::clamp(pattern.dotCount, 0, kMaxDotCount);
    repeatDots_ = std::max(pattern.repeatDots, 0);

    timer_.start(std::max(pattern.dotLength, 1));
    timerRunning_ = true;
    view_.enableParameterControls(false);
    stopRequested_ = false;

    SoundFormat format;
    fillSoundFormat(format, 1, kSampleRate, 16);
    const std::uint64_t session = ++session_;
    const bool opened =
        audio_.open(soundcardIndex, format, [this, session](AudioEvent event, int block) {
            if (session != session_) {
                return;
            }
            if (route_) {
                route_(event, block);
            } else {
                handleAudioEvent(event, block);
            }
        });
    if (!opened) {
        // Without a device there is nothing to key for: undo what the start did before the
        // operator sees the message.
        timer_.stop();
        timerRunning_ = false;
        view_.enableParameterControls(true);
        view_.reportOpenFailure();
        return;
    }
    deviceOpen_ = true;
    opened_ = false;
    closeAccepted_ = false;
    blockQueued_.fill(false);
    fillGeneration_ = 0;
    patternHeard_ = false;
    playPosition_ = 0;
    state_ = PlaybackState::Opening;
    // Keyed before the first sample is queued: the transmitter leads the sound.
    transmitter_.pttOn();
}

void Sequencer::turnOff() {
    transmitter_.pttOff();
    view_.setToggleCaption(kTurnOnCaption);
    stopRequested_ = true;
    playPosition_ = 0;
    dotCounter_ = 0;
    view_.enableParameterControls(true);
    state_ = closePending_ ? PlaybackState::Closing : PlaybackState::Draining;
    if (!anyBlockQueued()) {
        tryClose();
    }
}

void Sequencer::fillAndWrite(int block) {
    std::array<std::int16_t, kBufferSamples> samples;
    sound_.copySamples(playPosition_, samples.data(), kBufferSamples);
    auto& bytes = buffers_[static_cast<std::size_t>(block)];
    for (std::size_t j = 0; j < samples.size(); ++j) {
        const auto value = static_cast<std::uint16_t>(samples[j]);
        bytes[2 * j] = static_cast<std::uint8_t>(value & 0xFFu);
        bytes[2 * j + 1] = static_cast<std::uint8_t>(value >> 8);
    }
    const auto slot = static_cast<std::size_t>(block);
    blockStart_[slot] = playPosition_;
    blockGeneration_[slot] = fillGeneration_;
    blockQueued_[slot] = audio_.write(block, bytes.data(), bytes.size());
    playPosition_ += kBufferSamples;
}

bool Sequencer::anyBlockQueued() const {
    return std::any_of(blockQueued_.begin(), blockQueued_.end(),
                       [](bool queued) { return queued; });
}

void Sequencer::tryClose() {
    // Before Opened nothing may be asked of the device; Opened itself tries again.
    if (!deviceOpen_ || !opened_ || closeAccepted_) {
        return;
    }
    // Refused while blocks are queued; the next returned block asks again.
    closeAccepted_ = audio_.close();
}

void Sequencer::onDeviceOpened() {
    if (!deviceOpen_ || opened_) {
        return;
    }
    opened_ = true;
    if (stopRequested_) {
        // Stopped before the device was ready: nothing was queued, so it closes at once and
        // the button never shows "Turn Off" for a stream that will not play.
        tryClose();
        return;
    }
    view_.setToggleCaption(kTurnOffCaption);
    state_ = PlaybackState::Playing;
    playPosition_ = 0;
    for (int block = 0; block < kOutputBuffers; ++block) {
        fillAndWrite(block);
    }
}

void Sequencer::onBufferDone(int block) {
    if (!deviceOpen_ || !opened_ || block < 0 || block >= kOutputBuffers) {
        return;
    }
    const auto slot = static_cast<std::size_t>(block);
    if (!blockQueued_[slot]) {
        return;
    }
    blockQueued_[slot] = false;
    if (blockGeneration_[slot] == fillGeneration_ &&
        blockStart_[slot] + kBufferSamples >= sound_.sampleCount()) {
        patternHeard_ = true;
    }
    if (stopRequested_) {
        tryClose();
        return;
    }
    fillAndWrite(block);
}

void Sequencer::onDeviceClosed() {
    if (!deviceOpen_) {
        return;
    }
    if (!stopRequested_) {
        // Closed by the output itself while playing: the sound is gone just as after a loss.
        endAfterLoss(false);
        return;
    }
    deviceOpen_ = false;
    opened_ = false;
    closeAccepted_ = false;
    blockQueued_.fill(false);
    state_ = PlaybackState::Idle;
    view_.setToggleCaption(kTurnOnCaption);
    if (closePending_) {
        timer_.stop();
        timerRunning_ = false;
        view_.endMainWindow();
    }
}

void Sequencer::onDeviceLost() {
    if (!deviceOpen_) {
        return;
    }
    endAfterLoss(true);
}

void Sequencer::endAfterLoss(bool closeDevice) {
    // Forget the device: its Closed and any late notification are dropped from now on.
    ++session_;
    timer_.stop();
    timerRunning_ = false;
    // A lost output has closed itself; one that closed while playing needs nothing more.
    if (closeDevice && audio_.isOpen()) {
        audio_.close();
    }
    deviceOpen_ = false;
    opened_ = false;
    closeAccepted_ = false;
    blockQueued_.fill(false);
    dotCounter_ = 0;
    view_.redrawPatternViews();
    transmitter_.pttOff();
    view_.setToggleCaption(kTurnOnCaption);
    stopRequested_ = true;
    playPosition_ = 0;
    view_.enableParameterControls(true);
    state_ = PlaybackState::Idle;
    view_.reportDeviceLost(kDeviceLostText);
    if (closePending_) {
        view_.endMainWindow();
    }
}

bool Sequencer::requestClose() {
    if (!deviceOpen_) {
        return false;
    }
    // The timer and the transmitter are left as they are: the window ends when the queued
    // sound has played out and the device has closed.
    stopRequested_ = true;
    closePending_ = true;
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
    dotCounter_ = static_cast<std::int32_t>((std::int64_t{dotCounter_} + 1) %
                                            (std::int64_t{repeatDots_} + 1));
    if (dotCounter_ > dotCount_) {
        // The sound runs a full queue behind the timer from the second cycle on, so the
        // transmitter waits for the device's word that the pattern's last sample of this
        // cycle has been played.
        if (patternHeard_) {
            transmitter_.pttOff();
        }
    } else if (dotCounter_ <= kMaxDotCount) {
        view_.drawStripProgress(dotCounter_);
    }
    const std::int64_t reached = std::int64_t{dotCounter_} + 1;
    if (dotCount_ > dotCounter_) {
        view_.drawCycleBar(CycleBarColour::Red, 0, cycleBarX(reached));
    } else {
        view_.drawCycleBar(CycleBarColour::Blue, cycleBarX(dotCount_), cycleBarX(reached));
    }
    if (dotCounter_ == repeatDots_) {
        transmitter_.pttOn();
        view_.redrawPatternViews();
        // Heard after the blocks already queued: those still carry the cycle that ends here.
        playPosition_ = 0;
        ++fillGeneration_;
        patternHeard_ = false;
    }
}

int Sequencer::cycleBarX(std::int64_t dots) const {
    // A repeat of 0 restarts at every tick; one dot then fills the bar.
    const std::int64_t scale = repeatDots_ > 0 ? repeatDots_ : 1;
    return roundToInt32(static_cast<double>(dots) * kCycleBarWidth / static_cast<double>(scale));
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

void Sequencer::replaceSound(const BeaconPattern& pattern, RenderedSound sound) {
    sound_ = std::move(sound);
    dotCount_ = std::clamp(pattern.dotCount, 0, kMaxDotCount);
    repeatDots_ = std::max(pattern.repeatDots, 0);
    // Blocks already queued carry the old table; only a block filled from the new one can
    // tell that its end has been heard.
    ++fillGeneration_;
    patternHeard_ = false;
}

} // namespace vesk
