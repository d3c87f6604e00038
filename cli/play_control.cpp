// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/play_control.h"

#include "cli/console.h"
#include "platform/sound_format.h"

#include <algorithm>
#include <chrono>

namespace vesk::cli {

namespace {

// How often a Turn On looks again whether the output of the last one has closed, in ms, and
// how long it waits for that in all, in ns.
constexpr int kCloseCheckMs = 50;
constexpr std::int64_t kCloseLimitNs = 5'000'000'000;
// A wait for a Turn On is re-armed at least this often (ms), following a step of the clock.
constexpr std::int64_t kLongestWaitMs = 60'000;
// The key leads a cycle's first sample by this much, in ns.
constexpr std::int64_t kKeyLeadNs = kKeyLeadSamples * 1'000'000'000 / kSampleRate;

std::int64_t steadyNow() {
    return systemSteadyClock().now();
}

} // namespace

PlayControl::PlayControl(BeaconSession& session, const BeaconPattern& pattern,
                         const ClockTiming& timing, long cycleLimit, Hooks hooks)
    : session_(session), timing_(timing),
      periodNs_(std::int64_t{std::max(pattern.repeatDots, pattern.dotCount) + 1} *
                pattern.dotLength * 1'000'000),
      limit_(cycleLimit), hooks_(std::move(hooks)) {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [this] { onTimer(); });
}

void PlayControl::setBoard(web::StatusBoard& board, const web::Transmission& onAir) {
    board_ = &board;
    board.change([&](web::BeaconStatus& s) {
        s.onAir = onAir;
        s.cycleTimes.timing = timing_;
        s.cycleTimes.periodNs = periodNs_;
    });
    publish();
}

web::CommandOutcome PlayControl::pause(const std::string& from) {
    if (stopping_) {
        return {409, "stopping", "the beacon is stopping"};
    }
    if (paused_) {
        return {200, "paused", "the beacon is paused already"};
    }
    paused_ = true;
    skipAfterRelease_ = false;
    resumeAt_.reset();
    timer_.stop();
    session_.turnOff();
    tell("paused", from);
    if (board_ != nullptr) {
        const UtcNanoseconds now = systemWallClock().now();
        board_->change([&](web::BeaconStatus& s) {
            s.pausedBy = from;
            s.pausedAt = now;
        });
    }
    publish();
    return {200, "paused", "paused: the PTT is released, and nothing is sent until resumed"};
}

web::CommandOutcome PlayControl::resume(const std::string& from) {
    if (stopping_) {
        return {409, "stopping", "the beacon is stopping"};
    }
    if (!paused_) {
        return {200, "playing", "the beacon is not paused"};
    }
    paused_ = false;
    tell("resumed", from);
    resumeAt_ = systemWallClock().now();
    closingSinceNs_ = -1;
    onTimer();
    publish();
    return {200, "playing", "playing again from a new cycle"};
}

web::CommandOutcome PlayControl::skip(const std::string& from) {
    if (stopping_) {
        return {409, "stopping", "the beacon is stopping"};
    }
    if (paused_) {
        return {409, "paused", "the beacon is paused: there is no cycle to leave out"};
    }
    if (skipAfterRelease_ || (resumeAt_ && skippedAt_ >= 0)) {
        return {200, "playing", "the next cycle is being left out already"};
    }
    if (resumeAt_) {
        return skipResumed(from);
    }
    if (nextAt_ < 0) {
        return {409, "playing", "no next cycle is planned yet"};
    }
    skippedAt_ = nextAt_;
    const std::string when = formatUtcTime(skippedAt_);
    tell("leaving out the cycle at " + when, from);
    if (session_.ptt().keyed()) {
        skipAfterRelease_ = true;
    } else {
        leaveOutNextCycle();
    }
    publish();
    return {200, "playing", "the cycle at " + when + " is left out"};
}

web::CommandOutcome PlayControl::skipResumed(const std::string& from) {
    // The Turn On of a resume has not been made yet: the cycle it would start is the one left
    // out, and the Turn On comes once that cycle's time is over.
    const UtcNanoseconds now = systemWallClock().now();
    skippedAt_ = timing_.onTheClock() ? nextClockBoundary(std::max(*resumeAt_, now), timing_)
                                      : std::max(*resumeAt_, now);
    resumeAt_ = timing_.onTheClock() ? skippedAt_ : skippedAt_ + periodNs_;
    nextAt_ = skippedAt_;
    const std::string when = formatUtcTime(skippedAt_);
    tell("leaving out the cycle at " + when, from);
    onTimer();
    publish();
    return {200, "playing", "the cycle at " + when + " is left out"};
}

web::CommandOutcome PlayControl::stop(const std::string& from) {
    if (stopping_) {
        return {200, "stopping", "the beacon is stopping already"};
    }
    stopping_ = true;
    skipAfterRelease_ = false;
    resumeAt_.reset();
    timer_.stop();
    tell("stopped", from);
    publish();
    hooks_.stop();
    return {200, "stopping",
            "stopping: the PTT is released, the queued sound plays out, and the beacon ends"};
}

void PlayControl::keyingChanged(bool keyed) {
    if (keyed) {
        begun_ = true;
        if (!timing_.onTheClock()) {
            nextAt_ = systemWallClock().now() + kKeyLeadNs + periodNs_;
        }
        publish();
    } else if (skipAfterRelease_) {
        deferLeavingOut();
    }
}

void PlayControl::cycleRestarted() {
    publish();
}

void PlayControl::cyclePlayed(long, std::int64_t) {
    ++heard_;
    if (!timing_.onTheClock() && !resumeAt_) {
        nextAt_ = systemWallClock().now() + periodNs_;
    }
    // A cycle kept keyed into the next one is never released: the next one has just begun,
    // and is cut short here.
    if (skipAfterRelease_) {
        deferLeavingOut();
    }
    publish();
}

void PlayControl::nextTransmission(UtcNanoseconds at) {
    // While a skip waits, the cycle after the one left out is the next (the Turn Off said -1).
    if (timing_.onTheClock() && !resumeAt_) {
        nextAt_ = at;
        publish();
    }
}

void PlayControl::deferLeavingOut() {
    // Told from inside the session's own call, which a Turn Off must not run into.
    skipAfterRelease_ = false;
    QTimer::singleShot(0, &timer_, [this] {
        if (!paused_ && !stopping_ && !resumeAt_) {
            leaveOutNextCycle();
        }
    });
}

void PlayControl::leaveOutNextCycle() {
    skipAfterRelease_ = false;
    // On the clock a Turn On at the boundary left out starts at the boundary after it; off the
    // clock it starts at once, so it waits for the cycle left out to be over.
    resumeAt_ = timing_.onTheClock() ? skippedAt_ : skippedAt_ + periodNs_;
    nextAt_ = skippedAt_;
    session_.turnOff();
    closingSinceNs_ = -1;
    onTimer();
}

void PlayControl::onTimer() {
    if (!resumeAt_ || paused_ || stopping_) {
        return;
    }
    const std::int64_t leftMs = (*resumeAt_ - systemWallClock().now()) / 1'000'000;
    if (leftMs > 0) {
        timer_.start(static_cast<int>(std::min(leftMs, kLongestWaitMs)));
        return;
    }
    if (session_.playing()) {
        // The queued sound of the last Turn On still plays out.
        closingSinceNs_ = closingSinceNs_ < 0 ? steadyNow() : closingSinceNs_;
        if (steadyNow() - closingSinceNs_ < kCloseLimitNs) {
            timer_.start(kCloseCheckMs);
            return;
        }
        say("vesk-cli: the sound device did not close; the beacon stays off");
        resumeAt_.reset();
        paused_ = true;
        publish();
        return;
    }
    resumeAt_.reset();
    skippedAt_ = -1;
    begun_ = false;
    if (limit_ > 0) {
        if (heard_ >= limit_) {
            return;
        }
        session_.setCycleLimit(limit_ - heard_);
    }
    nextAt_ = timing_.onTheClock() ? -1 : systemWallClock().now();
    hooks_.turnOn();
    publish();
}

void PlayControl::tell(const std::string& what, const std::string& from) {
    const std::string line = what + " from " + from + " over HTTP";
    session_.logEvent(line);
    say(utcNow() + " " + line);
}

void PlayControl::publish() {
    if (board_ == nullptr) {
        return;
    }
    const long left = limit_ <= 0 ? -1 : std::max(0L, limit_ - heard_ - (begun_ ? 1 : 0));
    board_->change([&](web::BeaconStatus& s) {
        s.paused = paused_;
        s.stopping = stopping_;
        s.cycleTimes.nextAt = nextAt_;
        s.cycleTimes.left = left;
        s.cycleTimes.skippedAt = skippedAt_;
    });
}

} // namespace vesk::cli
