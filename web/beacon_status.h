// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/transmission_log.h"
#include "plan/schedule.h"
#include "session/beacon_session.h"
#include "tone/clock_timing.h"
#include "tone/sequencer.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// What the page, the API and the metrics show of a beacon: a snapshot kept on the event loop's
// thread and read, under a lock, by the server's threads.
namespace vesk::web {

// A transmission: the one on the air, or one to come.
struct Transmission {
    UtcNanoseconds at = -1;       // its first sample (UTC); -1 when not known
    std::string entry;            // a plan's entry; empty for play
    std::string pattern;          // the pattern as the log names it
    std::string picture;          // its spectrogram's name under /api/pattern/
    std::int64_t frequencyHz = 0; // the dial it sets; 0 for none
    std::int64_t lengthNs = 0;    // its sound
    bool skipped = false;         // a skip asked for leaves it out
};

// Play's cycles to come: when the next starts and how the ones after it follow.
struct CycleTimes {
    UtcNanoseconds nextAt = -1;    // the next cycle's first sample; -1: none planned
    ClockTiming timing;            // on the clock: each at the boundary after the last one
    std::int64_t periodNs = 0;     // off the clock: from one cycle's start to the next
    long left = -1;                // cycles still to come from nextAt on; -1: no limit
    UtcNanoseconds skippedAt = -1; // the cycle a skip leaves out
};

// Faults since the start, by kind.
struct FaultCounts {
    long soundWaits = 0;     // waits for a sound output that went away
    long keyerWaits = 0;     // waits for a keyer that went away or did not open
    long watchdog = 0;       // keys ended by the transmit watchdog
    long keyingFailures = 0; // keyers that refused to key
    long openFailures = 0;   // sound outputs that did not open
    long lost = 0;           // single transmissions cut short by a device that went away
    long logFailures = 0;    // transmissions the log could not take
};

// A problem as it was told, for the page's list.
struct ProblemNote {
    UtcNanoseconds at = 0;
    std::string kind; // "watchdog", "keying failed", ...
    std::string message;
};

// The newest problems kept.
inline constexpr std::size_t kProblemsKept = 10;

struct BeaconStatus {
    std::string mode;   // "play" or "run"
    std::string source; // the pattern file or the plan file as given
    UtcNanoseconds startedAt = 0;
    bool on = false; // playing or waiting to play (play); a transmission under way (run)
    bool keyed = false;
    bool keyerMissing = false;
    std::string keyerReason;
    BeaconWait waiting = BeaconWait::None;
    std::string waitReason;
    UtcNanoseconds waitingSince = 0;
    bool paused = false;
    std::string pausedBy; // the client address a pause came from
    UtcNanoseconds pausedAt = 0;
    bool stopping = false;
    std::optional<Transmission> onAir;     // what sounds now, or last sounded (play)
    UtcNanoseconds keyedAt = -1;           // the key of the transmission under way; -1 released
    std::optional<CycleProgress> progress; // through the cycle sounding now
    long cycles = 0;                       // cycles (play) or transmissions (run) heard
    std::int64_t underruns = 0;            // gaps in the sound of those
    long transmissions = 0;                // transmissions logged
    std::optional<TransmissionRecord> last;
    FaultCounts faults;
    std::deque<ProblemNote> problems;     // the newest last
    CycleTimes cycleTimes;                // play
    std::vector<plan::Slot> skippedSlots; // run: slots a skip leaves out
    UtcNanoseconds planFrom = 0;          // run: no slot before this is sent (too close to prepare)
};

// The snapshot, behind its lock. Written on the event loop's thread, read on any.
class StatusBoard {
public:
    BeaconStatus read() const;
    // Runs `edit` on the snapshot under the lock: keep it short, and call nothing from it.
    void change(const std::function<void(BeaconStatus&)>& edit);

private:
    mutable std::mutex mutex_;
    BeaconStatus status_;
};

// Keeps the board up to date with what the session tells its views; what the session does not
// tell (what is on the air in a plan, a pause, the cycles to come) the front end writes itself.
class StatusView : public SessionView {
public:
    StatusView(StatusBoard& board, const WallClock& clock = systemWallClock());

    void playingChanged(bool playing) override;
    void cycleRestarted() override;
    void showProgress(const CycleProgress& progress) override;
    void keyingChanged(bool keyed) override;
    void keyerChanged(bool missing, const std::string& reason) override;
    void waitingChanged(BeaconWait what, const std::string& reason, bool still) override;
    void cyclePlayed(long cycle, std::int64_t underruns) override;
    void transmissionLogged(const TransmissionRecord& record) override;
    void problem(SessionProblem kind, const std::string& message) override;

private:
    StatusBoard& board_;
    const WallClock& clock_;
};

// The next `count` transmissions after `now`: a plan's from its schedule (`plan`, drawn with
// `seed`), play's from its cycle times.
std::vector<Transmission> upcoming(const BeaconStatus& status, const plan::Plan* plan,
                                   std::uint64_t seed, UtcNanoseconds now, std::size_t count);

// A plan entry's slot as a transmission; the picture is named after the entry.
Transmission slotTransmission(const plan::Plan& plan, const plan::Slot& slot);

} // namespace vesk::web
