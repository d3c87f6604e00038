// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/beacon_session.h"

#include <algorithm>
#include <utility>

namespace vesk {

// The sequencer's view: drawing goes straight to the session's views, problems and the end wait
// until the sequencer's call has returned.
class BeaconSession::Engine : public SequencerView {
public:
    explicit Engine(BeaconSession& session) : session_(session) {}

    void playingChanged(bool playing) override {
        session_.each([playing](SessionView& v) { v.playingChanged(playing); });
    }
    void parametersLocked(bool locked) override {
        session_.each([locked](SessionView& v) { v.parametersLocked(locked); });
    }
    void cycleRestarted() override {
        session_.each([](SessionView& v) { v.cycleRestarted(); });
    }
    void showProgress(const CycleProgress& progress) override {
        session_.each([&progress](SessionView& v) { v.showProgress(progress); });
    }
    void renderProgress(int blocks) override {
        session_.each([blocks](SessionView& v) { v.renderProgress(blocks); });
    }
    void renderFinished() override {
        session_.each([](SessionView& v) { v.renderFinished(); });
    }
    void openFailed(const std::string& reason) override {
        session_.notify({SessionProblem::OpenFailed, reason});
    }
    void renderRefused(const std::string& message) override {
        session_.notify({SessionProblem::RenderRefused, message});
    }
    void deviceLost() override {
        session_.notify({SessionProblem::DeviceLost, platform::kDeviceLostText});
    }
    void closed() override { session_.notify({SessionProblem::OpenFailed, "", true}); }
    void cyclePlayed(long cycle, std::int64_t underruns) override {
        // A cycle kept keyed into the next still gets its own log line.
        session_.logger_.cycleEnded(cycle);
        session_.each([=](SessionView& v) { v.cyclePlayed(cycle, underruns); });
    }
    void nextTransmission(UtcNanoseconds at) override {
        session_.each([at](SessionView& v) { v.nextTransmission(at); });
    }

private:
    BeaconSession& session_;
};

BeaconSession::BeaconSession(std::unique_ptr<platform::AudioOut> audio,
                             const platform::DotTimerMaker& makeTimer, std::unique_ptr<Ptt> ptt,
                             const WallClock& clock)
    : audio_(std::move(audio)), ptt_(std::move(ptt)),
      logger_(
          *ptt_,
          [this](const TransmissionRecord& record) {
              if (logFile_.isOpen()) {
                  const Result<> written = logFile_.append(transmissionLine(record));
                  // Said once: a beacon goes on without its log rather than stop.
                  if (!written && !logFailed_) {
                      logFailed_ = true;
                      notify({SessionProblem::LogFailed, written.message()});
                  }
              }
              each([&record](SessionView& v) { v.transmissionLogged(record); });
          },
          clock),
      engine_(std::make_unique<Engine>(*this)),
      timer_(makeTimer([this] { engine([this] { sequencer_.onDotTimer(); }); })),
      sequencer_(*audio_, *timer_, logger_, *engine_) {
    sequencer_.setWallClock(clock);
    logger_.setUnderrunCounter([this] { return audio_->underruns(); });
    ptt_->setLabelHook(
        [this](bool keyed) { each([keyed](SessionView& v) { v.keyingChanged(keyed); }); });
    // Once until a keying works: the keyer has dropped the lines already.
    ptt_->setFailureHook([this] { notify({SessionProblem::KeyingFailed, ptt_->failure()}); });
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
        if (notice.end) {
            each([](SessionView& v) { v.ended(); });
        } else {
            each([&notice](SessionView& v) { v.problem(notice.kind, notice.message); });
        }
    }
    settling_ = false;
}

Result<> BeaconSession::openKeyer(const PttChoice& choice, std::int32_t comport) {
    pttDescription_ = describePttChoice(choice, comport);
    if (!choice.usesCat() && comport == 0) {
        // The lines wait for a port; a rig keyed before is let go.
        ptt_->shutdown();
        return {};
    }
    return ptt_->open(choice, comport);
}

void BeaconSession::closeKeyer() {
    ptt_->shutdown();
}

Result<> BeaconSession::openLog(const std::string& path) {
    logFailed_ = false;
    return logFile_.open(path);
}

void BeaconSession::turnOn(const BeaconPattern& pattern, std::int32_t amplitude, int device,
                           const std::string& patternName) {
    if (playing()) {
        return;
    }
    logger_.restartCycles();
    logger_.setLabel({patternName, {}, 0});
    logger_.setPttDescription(pttDescription_);
    engine([&] { sequencer_.start(pattern, amplitude, device); });
}

void BeaconSession::transmitAt(UtcNanoseconds at, const BeaconPattern& pattern,
                               std::int32_t amplitude, int device, const TransmissionLabel& label) {
    if (playing()) {
        return;
    }
    logger_.setLabel(label);
    logger_.setPttDescription(pttDescription_);
    sequencer_.setStartTime(at);
    engine([&] { sequencer_.start(pattern, amplitude, device); });
}

void BeaconSession::turnOff() {
    engine([this] { sequencer_.stop(); });
}

bool BeaconSession::close() {
    bool wait = false;
    engine([&] { wait = sequencer_.close(); });
    return wait;
}

bool BeaconSession::loadPattern(const BeaconPattern& pattern, std::int32_t amplitude) {
    bool taken = false;
    engine([&] { taken = sequencer_.loadPattern(pattern, amplitude); });
    return taken;
}

void BeaconSession::shutdown() {
    // A transmitter is never left keyed: release, then close the keyer.
    ptt_->shutdown();
    // A transmission cut short still goes to the log.
    logger_.endOpenTransmission();
}

} // namespace vesk
