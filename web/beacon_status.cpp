// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/beacon_status.h"

#include <algorithm>

namespace vesk::web {

namespace {

struct ProblemKind {
    SessionProblem problem;
    const char* name;
    long FaultCounts::*count;
};

// Each problem's name on the page and the fault it counts as.
constexpr ProblemKind kProblemKinds[] = {
    {SessionProblem::OpenFailed, "output did not open", &FaultCounts::openFailures},
    {SessionProblem::RenderRefused, "render refused", nullptr},
    {SessionProblem::KeyingFailed, "keying failed", &FaultCounts::keyingFailures},
    {SessionProblem::LogFailed, "log failed", &FaultCounts::logFailures},
    {SessionProblem::WatchdogTripped, "watchdog", &FaultCounts::watchdog},
    {SessionProblem::SoundLost, "sound output lost", &FaultCounts::lost},
    {SessionProblem::KeyerLost, "keyer lost", &FaultCounts::lost},
};

} // namespace

BeaconStatus StatusBoard::read() const {
    std::lock_guard lock(mutex_);
    return status_;
}

void StatusBoard::change(const std::function<void(BeaconStatus&)>& edit) {
    std::lock_guard lock(mutex_);
    edit(status_);
}

StatusView::StatusView(StatusBoard& board, const WallClock& clock) : board_(board), clock_(clock) {}

void StatusView::playingChanged(bool playing) {
    board_.change([playing](BeaconStatus& s) {
        s.on = playing;
        if (!playing) {
            s.progress.reset();
        }
    });
}

void StatusView::cycleRestarted() {
    board_.change([](BeaconStatus& s) { s.progress.reset(); });
}

void StatusView::showProgress(const CycleProgress& progress) {
    board_.change([&progress](BeaconStatus& s) { s.progress = progress; });
}

void StatusView::keyingChanged(bool keyed) {
    const UtcNanoseconds now = clock_.now();
    board_.change([keyed, now](BeaconStatus& s) {
        if (keyed && !s.keyed) {
            s.keyedAt = now;
        } else if (!keyed) {
            s.keyedAt = -1;
        }
        s.keyed = keyed;
    });
}

void StatusView::keyerChanged(bool missing, const std::string& reason) {
    board_.change([missing, &reason](BeaconStatus& s) {
        s.keyerMissing = missing;
        s.keyerReason = reason;
    });
}

void StatusView::waitingChanged(BeaconWait what, const std::string& reason, bool still) {
    const UtcNanoseconds now = clock_.now();
    board_.change([&, now](BeaconStatus& s) {
        if (what != BeaconWait::None && !still) {
            ++(what == BeaconWait::SoundOutput ? s.faults.soundWaits : s.faults.keyerWaits);
            s.waitingSince = now;
        }
        s.waiting = what;
        s.waitReason = reason;
    });
}

void StatusView::cyclePlayed(long, std::int64_t underruns) {
    board_.change([underruns](BeaconStatus& s) {
        ++s.cycles;
        s.underruns += underruns;
    });
}

void StatusView::transmissionLogged(const TransmissionRecord& record) {
    board_.change([&record](BeaconStatus& s) {
        ++s.transmissions;
        s.last = record;
    });
}

void StatusView::problem(SessionProblem kind, const std::string& message) {
    const UtcNanoseconds now = clock_.now();
    const auto found = std::find_if(std::begin(kProblemKinds), std::end(kProblemKinds),
                                    [kind](const ProblemKind& k) { return k.problem == kind; });
    board_.change([&, now](BeaconStatus& s) {
        if (found->count != nullptr) {
            ++(s.faults.*(found->count));
        }
        s.problems.push_back({now, found->name, message});
        while (s.problems.size() > kProblemsKept) {
            s.problems.pop_front();
        }
    });
}

Transmission slotTransmission(const plan::Plan& plan, const plan::Slot& slot) {
    const plan::PlanEntry& entry = plan.entries[slot.entry];
    return {slot.at,        entry.name, entry.patternName, entry.name, entry.frequencyHz,
            entry.lengthNs, false};
}

namespace {

std::vector<Transmission> planned(const BeaconStatus& status, const plan::Plan& plan,
                                  std::uint64_t seed, UtcNanoseconds now, std::size_t count) {
    std::vector<Transmission> list;
    // The transmission on the air (its output opens before its slot) is not one to come, nor
    // is a slot the runner has passed over.
    const UtcNanoseconds from =
        std::max(status.onAir ? std::max(now, status.onAir->at) + 1 : now + 1, status.planFrom);
    for (const plan::Slot& slot : plan::nextTransmissions(plan, from, count, seed)) {
        Transmission t = slotTransmission(plan, slot);
        t.skipped = std::find(status.skippedSlots.begin(), status.skippedSlots.end(), slot) !=
                    status.skippedSlots.end();
        list.push_back(std::move(t));
    }
    return list;
}

std::vector<Transmission> cycles(const BeaconStatus& status, UtcNanoseconds now,
                                 std::size_t count) {
    const CycleTimes& times = status.cycleTimes;
    std::vector<Transmission> list;
    if (times.nextAt < 0 || !status.onAir || status.paused || status.stopping) {
        return list;
    }
    const std::int64_t heardNs = std::max<std::int64_t>(status.onAir->lengthNs, 1);
    UtcNanoseconds at = times.nextAt;
    for (long k = 0; list.size() < count && (times.left < 0 || k < times.left); ++k) {
        if (at > now) {
            Transmission t = *status.onAir;
            t.at = at;
            t.skipped = at == times.skippedAt;
            list.push_back(std::move(t));
        }
        at = times.timing.onTheClock() ? nextClockBoundary(at + heardNs, times.timing)
                                       : at + std::max<std::int64_t>(times.periodNs, 1);
    }
    return list;
}

} // namespace

std::vector<Transmission> upcoming(const BeaconStatus& status, const plan::Plan* plan,
                                   std::uint64_t seed, UtcNanoseconds now, std::size_t count) {
    return plan != nullptr ? planned(status, *plan, seed, now, count) : cycles(status, now, count);
}

} // namespace vesk::web
