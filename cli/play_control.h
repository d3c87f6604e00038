// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "session/beacon_session.h"
#include "web/beacon_api.h"
#include "web/beacon_status.h"

#include <QTimer>

#include <cstdint>
#include <functional>
#include <string>

namespace vesk::cli {

// play's answers to the commands of its status page, and the cycles to come that the page
// lists. A pause is a Turn Off (the PTT released at once, the queued sound played out), a
// resume a new Turn On (with the cycles of a limit still to play), a skip a Turn Off once the
// cycle sounding now has been released and a Turn On once the cycle left out is over, a stop
// the end a signal brings. Each is logged as an event line naming the client.
class PlayControl : public web::BeaconControl, public SessionView {
public:
    struct Hooks {
        std::function<void()> turnOn; // Turn On with the options' pattern, output and level
        std::function<void()> stop;   // the orderly end
    };
    // `cycleLimit` as --cycles gives it (0: none); `timing` the cycles' clock timing.
    PlayControl(BeaconSession& session, const BeaconPattern& pattern, const ClockTiming& timing,
                long cycleLimit, Hooks hooks);

    // Where the cycles to come and the pause are shown; set once, before the loop runs.
    void setBoard(web::StatusBoard& board, const web::Transmission& onAir);

    web::CommandOutcome pause(const std::string& from) override;
    web::CommandOutcome resume(const std::string& from) override;
    web::CommandOutcome skip(const std::string& from) override;
    web::CommandOutcome stop(const std::string& from) override;

    void keyingChanged(bool keyed) override;
    void cycleRestarted() override;
    void cyclePlayed(long cycle, std::int64_t underruns) override;
    void nextTransmission(UtcNanoseconds at) override;

private:
    // Turns off for a skip; on again once the cycle left out is over.
    void leaveOutNextCycle();
    // A skip asked for between a resume and its Turn On.
    web::CommandOutcome skipResumed(const std::string& from);
    // The same, once the session's call that told of the release has returned.
    void deferLeavingOut();
    // Turns on at resumeAt_, once the output of the last Turn On has closed.
    void onTimer();
    void tell(const std::string& what, const std::string& from);
    void publish();

    BeaconSession& session_;
    ClockTiming timing_;
    std::int64_t periodNs_; // off the clock: from one cycle's start to the next
    long limit_;
    Hooks hooks_;
    web::StatusBoard* board_ = nullptr;
    QTimer timer_;
    long heard_ = 0;     // cycles heard since the start, over every Turn On
    bool begun_ = false; // a cycle has been keyed since the last Turn On
    bool paused_ = false;
    bool stopping_ = false;
    bool skipAfterRelease_ = false; // a skip waits for the cycle sounding now to be released
    UtcNanoseconds nextAt_ = -1;    // the next cycle's first sample
    UtcNanoseconds skippedAt_ = -1; // the cycle a skip leaves out
    std::optional<UtcNanoseconds> resumeAt_; // a Turn On to come
    std::int64_t closingSinceNs_ = -1;       // steady time the wait for the output began
};

} // namespace vesk::cli
