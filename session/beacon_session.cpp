// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/beacon_session.h"

#include "platform/sound_format.h"

#include <algorithm>
#include <utility>

namespace vesk {

namespace {

constexpr SteadyNanoseconds kNsPerMs = 1'000'000;
// How often the session looks at its retries and its watchdog while it has any, in ms.
constexpr int kSessionTickMs = 250;

std::string waitText(BeaconWait what) {
    return what == BeaconWait::SoundOutput ? "waiting for the sound output"
                                           : "waiting for the keyer";
}

} // namespace

// The sequencer's view: drawing goes straight to the session's views, problems and the end wait
// until the sequencer's call has returned.
class BeaconSession::Engine : public SequencerView {
public:
    explicit Engine(BeaconSession& session) : s_(session) {}

    void playingChanged(bool playing) override {
        s_.enginePlaying_ = playing;
        s_.present();
    }
    void parametersLocked(bool locked) override {
        s_.engineLocked_ = locked;
        s_.present();
    }
    void cycleRestarted() override {
        s_.each([](SessionView& v) { v.cycleRestarted(); });
    }
    void showProgress(const CycleProgress& progress) override {
        s_.each([&progress](SessionView& v) { v.showProgress(progress); });
    }
    void renderProgress(int blocks) override {
        s_.each([blocks](SessionView& v) { v.renderProgress(blocks); });
    }
    void renderFinished() override {
        s_.each([](SessionView& v) { v.renderFinished(); });
    }
    void openFailed(const std::string& reason) override {
        // Only a Turn On opens by index; a resume reports its own failure.
        s_.on_ = false;
        s_.single_ = false;
        s_.notify({Notice::Kind::Problem, SessionProblem::OpenFailed, reason});
    }
    void renderRefused(const std::string& message) override {
        s_.on_ = false;
        s_.single_ = false;
        s_.notify({Notice::Kind::Problem, SessionProblem::RenderRefused, message});
    }
    void deviceLost() override {
        // Said before the sequencer shows itself off, so that a beacon that goes on waiting
        // never shows off at all.
        if (s_.on_ && !s_.closing_) {
            s_.waiting_ = BeaconWait::SoundOutput;
        } else if (s_.single_) {
            // One transmission lost with its output: the next is the owner's to ask for.
            s_.single_ = false;
            s_.notify({Notice::Kind::Problem, SessionProblem::SoundLost,
                       "the sound output stopped working during the transmission"});
            return;
        }
        s_.notify({Notice::Kind::SoundLost, SessionProblem::OpenFailed, ""});
    }
    void closed() override {
        s_.on_ = false;
        s_.single_ = false;
        s_.closing_ = false;
        s_.notify({Notice::Kind::End, SessionProblem::OpenFailed, ""});
    }
    void cyclePlayed(long cycle, std::int64_t underruns) override {
        // A cycle kept keyed into the next still gets its own log line, and its own allowance.
        s_.logger_.cycleEnded(cycle);
        if (s_.ptt_->keyed()) {
            s_.armWatchdog();
        }
        s_.each([=](SessionView& v) { v.cyclePlayed(cycle, underruns); });
    }
    void nextTransmission(UtcNanoseconds at) override {
        s_.each([at](SessionView& v) { v.nextTransmission(at); });
    }
    void clockStepped(std::int64_t stepNs) override { s_.logEvent(clockStepText(stepNs)); }

private:
    BeaconSession& s_;
};

BeaconSession::BeaconSession(std::unique_ptr<platform::AudioOut> audio,
                             const platform::DotTimerMaker& makeTimer, std::unique_ptr<Ptt> ptt,
                             const WallClock& clock, const SteadyClock& steady)
    : audio_(std::move(audio)), ptt_(std::move(ptt)), clock_(clock), steady_(steady),
      logger_(
          *ptt_,
          [this](const TransmissionRecord& record) {
              if (logFile_.isOpen()) {
                  const Result<> written = logFile_.append(transmissionLine(record));
                  // Said once: a beacon goes on without its log rather than stop.
                  if (!written && !logFailed_) {
                      logFailed_ = true;
                      tellProblem(SessionProblem::LogFailed, written.message());
                  }
              }
              each([&record](SessionView& v) { v.transmissionLogged(record); });
          },
          clock),
      engine_(std::make_unique<Engine>(*this)),
      timer_(makeTimer([this] { engine([this] { sequencer_.onDotTimer(); }); })),
      sessionTimer_(makeTimer([this] { onSessionTick(); })),
      sequencer_(*audio_, *timer_, logger_, *engine_) {
    sequencer_.setWallClock(clock);
    sequencer_.setSteadyClock(steady);
    logger_.setUnderrunCounter([this] { return audio_->underruns(); });
    ptt_->setLabelHook([this](bool keyed) {
        if (keyed && ptt_->isOpen()) {
            keyerProven_ = true;
            keyerRecovering_ = false;
            keyerRetryMs_ = kKeyerRetryFirstMs;
        }
        if (!keyed) {
            keyDeadline_.reset();
        } else if (!keyDeadline_) {
            armWatchdog();
        }
        updateSessionTimer();
        each([keyed](SessionView& v) { v.keyingChanged(keyed); });
    });
    // Once until a keying works: the keyer has dropped the lines already.
    ptt_->setFailureHook([this] {
        notify({Notice::Kind::KeyerFailed, SessionProblem::KeyingFailed, ptt_->failure()});
    });
    // Device notifications come straight here, and what they caused is told once they are
    // handled.
    sequencer_.setAudioRoute([this](platform::AudioEvent event, int block) {
        engine([&] { sequencer_.handleAudioEvent(event, block); });
    });
}

BeaconSession::~BeaconSession() {
    // Nobody is left to tell: the views may be gone already.
    views_.clear();
    shutdown();
    ptt_->setLabelHook({});
    ptt_->setFailureHook({});
}

void BeaconSession::addView(SessionView& view) {
    views_.push_back(&view);
}

void BeaconSession::removeView(SessionView& view) {
    views_.erase(std::remove(views_.begin(), views_.end(), &view), views_.end());
}

void BeaconSession::each(const std::function<void(SessionView&)>& call) {
    // A view may remove itself while being told.
    const std::vector<SessionView*> views = views_;
    for (SessionView* view : views) {
        if (std::find(views_.begin(), views_.end(), view) != views_.end()) {
            call(*view);
        }
    }
}

void BeaconSession::tellProblem(SessionProblem kind, const std::string& message) {
    notify({Notice::Kind::Problem, kind, message});
}

void BeaconSession::notify(Notice notice) {
    notices_.push_back(std::move(notice));
    // Outside the engine (a keying asked for directly) there is nothing to wait for.
    if (engineDepth_ == 0) {
        settle();
    }
}

void BeaconSession::engine(const std::function<void()>& call) {
    ++engineDepth_;
    call();
    --engineDepth_;
    if (engineDepth_ == 0) {
        settle();
    }
}

void BeaconSession::settle() {
    // A view that calls back into the session from a notice is told what that caused after
    // the notices before it, by the outer pass.
    if (settling_) {
        return;
    }
    settling_ = true;
    while (!notices_.empty()) {
        const Notice notice = std::move(notices_.front());
        notices_.pop_front();
        switch (notice.kind) {
        case Notice::Kind::End:
            updateSessionTimer();
            each([](SessionView& v) { v.ended(); });
            break;
        case Notice::Kind::SoundLost:
            onSoundLost();
            break;
        case Notice::Kind::KeyerFailed:
            onKeyerFailed(notice.message);
            break;
        case Notice::Kind::Problem:
            each([&notice](SessionView& v) { v.problem(notice.problem, notice.message); });
            break;
        }
    }
    settling_ = false;
}

Result<> BeaconSession::openKeyer(const PttChoice& choice, std::int32_t comport) {
    pttDescription_ = describePttChoice(choice, comport);
    if (!choice.usesCat() && comport == 0) {
        // The lines wait for a port; a rig keyed before is let go.
        wantedKeyer_.reset();
        ptt_->shutdown();
        each([](SessionView& v) { v.keyerChanged(false, ""); });
        return {};
    }
    wantedKeyer_ = {choice, comport};
    keyerProven_ = false;
    keyerRecovering_ = false;
    const Result<> opened = ptt_->open(choice, comport);
    keyerProblem_ = opened.message();
    each([&opened](SessionView& v) { v.keyerChanged(!opened, opened.message()); });
    return opened;
}

void BeaconSession::closeKeyer() {
    wantedKeyer_.reset();
    ptt_->shutdown();
    each([](SessionView& v) { v.keyerChanged(false, ""); });
}

Result<> BeaconSession::openLog(const std::string& path) {
    logFailed_ = false;
    return logFile_.open(path);
}

void BeaconSession::setMaxKeyMs(int milliseconds) {
    maxKeyMs_ = std::max(milliseconds, 1);
}

void BeaconSession::turnOn(const BeaconPattern& pattern, std::int32_t amplitude, int device,
                           const std::string& patternName) {
    if (playing()) {
        return;
    }
    request_ = Request{pattern, amplitude, device, patternName, false};
    on_ = true;
    closing_ = false;
    logger_.restartCycles();
    logger_.setLabel({patternName, {}, 0});
    logger_.setPttDescription(pttDescription_);
    if (keyerMissing()) {
        // Nothing is keyed, logged or played until the keyer is there.
        beginWait(BeaconWait::Keyer, keyerProblem_);
        return;
    }
    startOrResume();
}

void BeaconSession::startOrResume() {
    if (!request_->started) {
        request_->started = true;
        const Request& r = *request_;
        engine([&] { sequencer_.start(r.pattern, r.amplitude, r.device); });
        return;
    }
    Result<> resumed;
    engine([&] { resumed = sequencer_.resume(); });
    if (!resumed) {
        beginWait(BeaconWait::SoundOutput, resumed.message());
        return;
    }
    logger_.continueCycles(sequencer_.cyclesHeard());
}

void BeaconSession::transmitAt(UtcNanoseconds at, const BeaconPattern& pattern,
                               std::int32_t amplitude, int device, const TransmissionLabel& label) {
    if (playing() || single_) {
        return;
    }
    if (keyerMissing()) {
        // Nothing is keyed or logged for a slot without its keyer; the keyer is tried on.
        tellProblem(SessionProblem::KeyerLost,
                    "no transmission: the keyer is missing: " + keyerProblem_);
        return;
    }
    single_ = true;
    logger_.setLabel(label);
    logger_.setPttDescription(pttDescription_);
    sequencer_.setStartTime(at);
    engine([&] { sequencer_.start(pattern, amplitude, device); });
}

void BeaconSession::turnOff() {
    const bool waited = waiting_ != BeaconWait::None;
    on_ = false;
    waiting_ = BeaconWait::None;
    if (waited) {
        each([](SessionView& v) { v.waitingChanged(BeaconWait::None, "", false); });
    }
    engine([this] { sequencer_.stop(); });
    present();
    updateSessionTimer();
}

bool BeaconSession::close() {
    if (waiting_ != BeaconWait::None && !sequencer_.deviceOpen()) {
        // A wait has nothing queued to play out.
        turnOff();
        return false;
    }
    closing_ = true;
    bool wait = false;
    engine([&] { wait = sequencer_.close(); });
    if (!wait) {
        closing_ = false;
        on_ = false;
    }
    return wait;
}

bool BeaconSession::loadPattern(const BeaconPattern& pattern, std::int32_t amplitude) {
    bool taken = false;
    engine([&] { taken = sequencer_.loadPattern(pattern, amplitude); });
    if (taken && request_) {
        // A wait that ends plays what is on show now.
        request_->pattern = pattern;
        request_->amplitude = amplitude;
    }
    return taken;
}

void BeaconSession::shutdown() {
    // A transmitter is never left keyed: release, then close the keyer.
    ptt_->shutdown();
    // A transmission cut short still goes to the log.
    logger_.endOpenTransmission();
}

void BeaconSession::present() {
    const bool waiting = waiting_ != BeaconWait::None;
    const bool playing = enginePlaying_ || waiting;
    const bool locked = engineLocked_ || waiting;
    if (locked != shownLocked_) {
        shownLocked_ = locked;
        each([locked](SessionView& v) { v.parametersLocked(locked); });
    }
    if (playing != shownPlaying_) {
        shownPlaying_ = playing;
        each([playing](SessionView& v) { v.playingChanged(playing); });
    }
    if (const bool active = this->playing(); active != shownActive_) {
        shownActive_ = active;
        each([active](SessionView& v) { v.activeChanged(active); });
    }
}

void BeaconSession::logEvent(const std::string& text) {
    if (!logFile_.isOpen()) {
        return;
    }
    if (const Result<> written = logFile_.append(eventLine(clock_.now(), text));
        !written && !logFailed_) {
        logFailed_ = true;
        tellProblem(SessionProblem::LogFailed, written.message());
    }
}

void BeaconSession::onSoundLost() {
    if (!on_ || closing_ || waiting_ != BeaconWait::SoundOutput) {
        return;
    }
    const long limit = sequencer_.cycleLimit();
    if (limit > 0 && sequencer_.cyclesHeard() >= limit) {
        // Every cycle asked for has been heard: there is nothing left to wait for.
        on_ = false;
        waiting_ = BeaconWait::None;
        present();
        each([](SessionView& v) { v.ended(); });
        return;
    }
    beginWait(BeaconWait::SoundOutput, "the sound output stopped working");
}

void BeaconSession::onKeyerFailed(const std::string& reason) {
    // A keyer that has never keyed cannot, rather than has gone (a port without modem lines,
    // a rig that refuses): the operator hears of it, nothing waits.
    if (!wantedKeyer_ || !(keyerProven_ || keyerRecovering_)) {
        each([&reason](SessionView& v) { v.problem(SessionProblem::KeyingFailed, reason); });
        return;
    }
    keyerProblem_ = reason;
    // Released as far as the keyer still allows, and closed: it is opened afresh when back,
    // whether the beacon plays or not. One that failed again before it keyed once waits
    // longer each time.
    if (keyerRecovering_) {
        keyerRetryMs_ = std::min(keyerRetryMs_ * 2, kKeyerRetryLongestMs);
    }
    keyerLost_ = true;
    nextKeyerTry_ = steady_.now() + keyerRetryMs_ * kNsPerMs;
    ptt_->shutdown();
    each([&reason](SessionView& v) { v.keyerChanged(true, reason); });
    if (on_) {
        waiting_ = BeaconWait::Keyer;
        engine([this] { sequencer_.stop(); });
        beginWait(BeaconWait::Keyer, reason);
        return;
    }
    logEvent("the keyer went away: " + reason);
    if (single_) {
        // The transmission under way ends here, unkeyed; the owner hears of the end as usual.
        tellProblem(SessionProblem::KeyerLost, "the keyer went away: " + reason);
        engine([this] { sequencer_.close(); });
    }
    updateSessionTimer();
}

void BeaconSession::beginWait(BeaconWait what, const std::string& reason) {
    waiting_ = what;
    waitReason_ = reason;
    const SteadyNanoseconds now = steady_.now();
    waitSaidAt_ = now;
    nextTry_ = now + kSoundRetryMs * kNsPerMs;
    if (what == BeaconWait::Keyer && !keyerLost_) {
        // A keyer that never opened: tried from now on, as one that went away.
        keyerLost_ = true;
        nextKeyerTry_ = now + keyerRetryMs_ * kNsPerMs;
    }
    logEvent(waitText(what) + ": " + reason);
    present();
    updateSessionTimer();
    each([what, &reason](SessionView& v) { v.waitingChanged(what, reason, false); });
}

void BeaconSession::endWait() {
    const BeaconWait was = waiting_;
    waiting_ = BeaconWait::None;
    logEvent(std::string(was == BeaconWait::SoundOutput ? "the sound output" : "the keyer") +
             " is back: playing again");
    updateSessionTimer();
    each([](SessionView& v) { v.waitingChanged(BeaconWait::None, "", false); });
}

void BeaconSession::onSessionTick() {
    const SteadyNanoseconds now = steady_.now();
    if (keyDeadline_ && now >= *keyDeadline_) {
        tripWatchdog();
        return;
    }
    if (waiting_ != BeaconWait::None &&
        now - waitSaidAt_ >= SteadyNanoseconds{kStillWaitingEveryMs} * kNsPerMs) {
        waitSaidAt_ = now;
        const BeaconWait what = waiting_;
        each([what, this](SessionView& v) { v.waitingChanged(what, waitReason_, true); });
    }
    if (keyerLost_ && now >= nextKeyerTry_) {
        retryKeyer();
    } else if (waiting_ == BeaconWait::SoundOutput && now >= nextTry_) {
        retrySound();
    }
}

void BeaconSession::retryKeyer() {
    const SteadyNanoseconds now = steady_.now();
    if (sequencer_.deviceOpen()) {
        // The sound of the cycle cut short is still playing out.
        nextKeyerTry_ = now + kSessionTickMs * kNsPerMs;
        return;
    }
    const Result<> opened = ptt_->open(wantedKeyer_->first, wantedKeyer_->second);
    if (!opened) {
        keyerProblem_ = opened.message();
        if (waiting_ == BeaconWait::Keyer) {
            waitReason_ = opened.message();
        }
        keyerRetryMs_ = std::min(keyerRetryMs_ * 2, kKeyerRetryLongestMs);
        nextKeyerTry_ = now + keyerRetryMs_ * kNsPerMs;
        return;
    }
    keyerLost_ = false;
    keyerRecovering_ = true;
    each([](SessionView& v) { v.keyerChanged(false, ""); });
    if (waiting_ != BeaconWait::Keyer) {
        logEvent("the keyer is back");
        updateSessionTimer();
        return;
    }
    endWait();
    startOrResume();
}

void BeaconSession::retrySound() {
    Result<> resumed;
    engine([&] { resumed = sequencer_.resume(); });
    if (!resumed) {
        waitReason_ = resumed.message();
        nextTry_ = steady_.now() + kSoundRetryMs * kNsPerMs;
        return;
    }
    logger_.continueCycles(sequencer_.cyclesHeard());
    endWait();
}

void BeaconSession::armWatchdog() {
    // The key leads the first sample, then the pattern sounds: what is allowed on top is the
    // margin.
    const auto soundingMs = (kKeyLeadSamples + sequencer_.sound().sampleCount()) * 1000 /
                            static_cast<std::int64_t>(kSampleRate);
    keyDeadline_ = steady_.now() + (soundingMs + maxKeyMs_) * kNsPerMs;
    updateSessionTimer();
}

void BeaconSession::tripWatchdog() {
    keyDeadline_.reset();
    const std::string message = "the transmitter stayed keyed more than " +
                                std::to_string(maxKeyMs_ / 1000) +
                                " s past its pattern: released, the beacon is off";
    // Released first, whatever the sound does; the transmission goes to the log.
    logger_.pttOff();
    logEvent("watchdog: " + message);
    turnOff();
    tellProblem(SessionProblem::WatchdogTripped, message);
}

void BeaconSession::updateSessionTimer() {
    const bool wanted = waiting_ != BeaconWait::None || keyDeadline_.has_value() || keyerLost_;
    if (wanted && !sessionTimerRunning_) {
        sessionTimer_->start(kSessionTickMs);
    } else if (!wanted && sessionTimerRunning_) {
        sessionTimer_->stop();
    }
    sessionTimerRunning_ = wanted;
}

} // namespace vesk
