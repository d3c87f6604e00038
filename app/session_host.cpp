// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/session_host.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <utility>

namespace vesk {

// On the session's thread: hands everything the session tells over to the window's thread,
// copied, in order.
class SessionHost::Relay : public SessionView {
public:
    explicit Relay(SessionHost& host) : host_(host) {}

    void playingChanged(bool playing) override {
        each([playing](SessionView& v) { v.playingChanged(playing); });
    }
    void activeChanged(bool active) override {
        host_.tell([h = &host_, active] { h->playing_ = active; });
        each([active](SessionView& v) { v.activeChanged(active); });
    }
    void parametersLocked(bool locked) override {
        each([locked](SessionView& v) { v.parametersLocked(locked); });
    }
    void cycleRestarted() override {
        each([](SessionView& v) { v.cycleRestarted(); });
    }
    void showProgress(const CycleProgress& progress) override {
        each([progress](SessionView& v) { v.showProgress(progress); });
    }
    void renderProgress(int blocks) override {
        each([blocks](SessionView& v) { v.renderProgress(blocks); });
    }
    void renderFinished() override {
        each([](SessionView& v) { v.renderFinished(); });
    }
    void keyingChanged(bool keyed) override {
        each([keyed](SessionView& v) { v.keyingChanged(keyed); });
    }
    void keyerChanged(bool missing, const std::string& reason) override {
        each([missing, reason](SessionView& v) { v.keyerChanged(missing, reason); });
    }
    void waitingChanged(BeaconWait what, const std::string& reason, bool still) override {
        each([what, reason, still](SessionView& v) { v.waitingChanged(what, reason, still); });
    }
    void cyclePlayed(long cycle, std::int64_t underruns) override {
        each([cycle, underruns](SessionView& v) { v.cyclePlayed(cycle, underruns); });
    }
    void nextTransmission(UtcNanoseconds at) override {
        each([at](SessionView& v) { v.nextTransmission(at); });
    }
    void transmissionLogged(const TransmissionRecord& record) override {
        each([record](SessionView& v) { v.transmissionLogged(record); });
    }
    void problem(SessionProblem kind, const std::string& message) override {
        each([kind, message](SessionView& v) { v.problem(kind, message); });
    }
    void ended() override {
        each([](SessionView& v) { v.ended(); });
    }

private:
    void each(std::function<void(SessionView&)> call) {
        host_.tell([h = &host_, call = std::move(call)] {
            // A view may go (the window ends) while being told.
            const std::vector<SessionView*> views = h->views_;
            for (SessionView* v : views) {
                call(*v);
            }
        });
    }

    SessionHost& host_;
};

SessionHost::SessionHost(const Maker& make, Thread thread) {
    windowSide_ = std::make_unique<QObject>();
    const auto start = [this, &make] {
        session_ = make();
        relay_ = std::make_unique<Relay>(*this);
        session_->addView(*relay_);
    };
    if (thread == Thread::Caller) {
        start();
        return;
    }
    thread_ = std::make_unique<QThread>();
    thread_->setObjectName("beacon session");
    sessionSide_ = std::make_unique<QObject>();
    sessionSide_->moveToThread(thread_.get());
    thread_->start();
    // The sound output and the timers belong to the thread that makes them.
    QMetaObject::invokeMethod(sessionSide_.get(), start, Qt::BlockingQueuedConnection);
}

SessionHost::~SessionHost() {
    const auto end = [this] {
        session_.reset();
        relay_.reset();
    };
    if (!thread_) {
        end();
        return;
    }
    QMetaObject::invokeMethod(sessionSide_.get(), end, Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
    sessionSide_.reset();
}

void SessionHost::ask(std::function<void(BeaconSession&)> call, bool wait) {
    if (!thread_) {
        call(*session_);
        return;
    }
    QMetaObject::invokeMethod(
        sessionSide_.get(),
        [this, call = std::move(call)] {
            call(*session_);
            // What the window asks next sees what this call did, even when no view was told.
            tell([this, playing = session_->playing()] { playing_ = playing; });
        },
        wait ? Qt::BlockingQueuedConnection : Qt::QueuedConnection);
}

void SessionHost::tell(std::function<void()> call) {
    if (!thread_) {
        call();
        return;
    }
    QMetaObject::invokeMethod(windowSide_.get(), std::move(call), Qt::QueuedConnection);
}

bool SessionHost::playing() const {
    return thread_ ? playing_ : session_->playing();
}

void SessionHost::addView(SessionView& view) {
    views_.push_back(&view);
}

void SessionHost::turnOn(const BeaconPattern& pattern, std::int32_t amplitude, int device,
                         const std::string& patternName) {
    ask([=](BeaconSession& s) { s.turnOn(pattern, amplitude, device, patternName); });
}

void SessionHost::turnOff() {
    ask([](BeaconSession& s) { s.turnOff(); });
}

bool SessionHost::close() {
    if (!thread_) {
        return session_->close();
    }
    if (!playing_) {
        return false;
    }
    // Whatever the session finds by then, the window hears of the end.
    ask([this](BeaconSession& s) {
        if (!s.close()) {
            relay_->ended();
        }
    });
    return true;
}

void SessionHost::loadPattern(const BeaconPattern& pattern, std::int32_t amplitude) {
    ask([=](BeaconSession& s) { s.loadPattern(pattern, amplitude); });
}

void SessionHost::resetDotCounter(bool stopTimer) {
    ask([stopTimer](BeaconSession& s) { s.resetDotCounter(stopTimer); });
}

void SessionHost::setClockTiming(const ClockTiming& timing) {
    clockTiming_ = timing;
    ask([timing](BeaconSession& s) { s.setClockTiming(timing); });
}

void SessionHost::setMaxKeyMs(int milliseconds) {
    maxKeyMs_ = milliseconds;
    ask([milliseconds](BeaconSession& s) { s.setMaxKeyMs(milliseconds); });
}

void SessionHost::openKeyer(const PttChoice& choice, std::int32_t comport,
                            std::function<void(const Result<>&)> done) {
    ask([this, choice, comport, done = std::move(done)](BeaconSession& s) {
        const Result<> opened = s.openKeyer(choice, comport);
        tell([done, opened] { done(opened); });
    });
}

Result<> SessionHost::openKeyer(const PttChoice& choice, std::int32_t comport) {
    Result<> opened;
    ask([&opened, &choice, comport](BeaconSession& s) { opened = s.openKeyer(choice, comport); },
        true);
    return opened;
}

Result<> SessionHost::openLog(const std::string& path) {
    Result<> opened;
    ask([&opened, &path](BeaconSession& s) { opened = s.openLog(path); }, true);
    return opened;
}

void SessionHost::shutdown() {
    ask([](BeaconSession& s) { s.shutdown(); }, true);
}

std::vector<std::string> SessionHost::outputDevices() {
    std::vector<std::string> names;
    ask([&names](BeaconSession&) { names = platform::outputDevices(); }, true);
    return names;
}

} // namespace vesk
