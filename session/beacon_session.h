// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/ptt.h"
#include "devices/ptt_choice.h"
#include "devices/transmission_log.h"
#include "platform/audio_out.h"
#include "platform/dot_timer.h"
#include "platform/result.h"
#include "tone/clock_timing.h"
#include "tone/pattern.h"
#include "tone/sequencer.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vesk {

// What can go wrong while a beacon runs, each told once with its sentence.
enum class SessionProblem {
    OpenFailed,      // the sound output did not open at Turn On; nothing plays
    RenderRefused,   // the pattern cannot be rendered; nothing plays
    KeyingFailed,    // the keyer refused a keying outside playback; it shows released
    LogFailed,       // a transmission could not be written to the log; the beacon goes on
    WatchdogTripped, // the PTT stayed keyed past its pattern: released, the beacon is off
    SoundLost,       // the output went away during a single transmission (transmitAt)
    KeyerLost,       // the keyer went away outside a continuous beacon; it is tried again
};

// What a beacon that is on waits for before it sends again; it retries on its own.
enum class BeaconWait {
    None,
    SoundOutput, // the output went away while playing (a sound server gone, a card unplugged)
    Keyer,       // the keyer went away (an adapter unplugged, rigctld gone) or never opened
};

// How often a lost sound output is tried again, in ms.
inline constexpr int kSoundRetryMs = 2000;
// The first and the longest wait between tries of a lost keyer, in ms; each try that fails
// doubles the wait, so a rig switched off for the night is asked about twice a minute.
inline constexpr int kKeyerRetryFirstMs = 1000;
inline constexpr int kKeyerRetryLongestMs = 30000;
// How long a beacon that still waits keeps quiet before it says so again, in ms.
inline constexpr int kStillWaitingEveryMs = 5 * 60 * 1000;
// A key may outlast its pattern's sounding by this much before the watchdog ends it, in ms,
// unless set otherwise.
inline constexpr int kDefaultMaxKeyMs = 10000;

// What a front end shows of a session: the window draws it, `vesk-cli play` prints it. Every
// method has nothing to do by default. Drawing calls come as things happen; problems, waits and
// the end come once the session's own call has returned, so a view may call back into the
// session from them (turn it off, close it).
class SessionView {
public:
    virtual ~SessionView() = default;
    // The beacon is on (true: playing, or waiting to play again) or off; Turn Off is offered
    // while it is on.
    virtual void playingChanged(bool /*playing*/) {}
    // What BeaconSession::playing says has changed: on, or the output still open while the
    // queued sound plays out after a Turn Off.
    virtual void activeChanged(bool /*active*/) {}
    // The parameters may not change while true.
    virtual void parametersLocked(bool /*locked*/) {}
    // The cycle starts over: progress shown so far clears.
    virtual void cycleRestarted() {}
    virtual void showProgress(const CycleProgress& /*progress*/) {}
    // Render progress: blocks 10 (just started) down to 0, then renderFinished.
    virtual void renderProgress(int /*blocks*/) {}
    virtual void renderFinished() {}
    // The transmitter has been keyed (true) or released, as far as the keyer says.
    virtual void keyingChanged(bool /*keyed*/) {}
    // The keyer chosen is missing (true: it did not open or went away, and nothing is keyed
    // until it is back; `reason` says why), or open again, or none is wanted (false).
    virtual void keyerChanged(bool /*missing*/, const std::string& /*reason*/) {}
    // The beacon waits for `what` (`reason` says why), or waits no more (None). `still` marks
    // the reminders of a long wait.
    virtual void waitingChanged(BeaconWait /*what*/, const std::string& /*reason*/,
                                bool /*still*/) {}
    // Cycle `cycle` (1, 2, ...) has been heard to its end with `underruns` gaps in its sound.
    virtual void cyclePlayed(long /*cycle*/, std::int64_t /*underruns*/) {}
    // On the clock: when the next cycle starts; -1 when none is planned.
    virtual void nextTransmission(UtcNanoseconds /*at*/) {}
    // A transmission has ended and gone to the log (or would have, without one).
    virtual void transmissionLogged(const TransmissionRecord& /*record*/) {}
    virtual void problem(SessionProblem /*kind*/, const std::string& /*message*/) {}
    // A close request is complete, or a cycle limit has been played: nothing plays any more.
    virtual void ended() {}
};

// One beacon: the sound output, the keyer, the transmission log, the dot timer and the
// sequencer that drives them, for every front end. It reports in dots and fractions of a cycle
// to its views and knows no window, terminal or toolkit. Every call comes from one thread, the
// one whose event loop delivers the output's notifications and the timers' ticks.
//
// A beacon that is on survives its devices: a sound output or a keyer that goes away releases
// the PTT at once, the beacon waits and tries again on its own, and it plays on from the next
// cycle once the device is back. Nothing is keyed without sound, and a watchdog ends any key
// that outlasts its pattern by more than the allowance.
class BeaconSession {
public:
    // `audio` plays the sound; `makeTimer` gives the dot timer and the session's own timer;
    // `ptt` keys the transmitter; `clock` stamps the log and places cycles on the UTC clock;
    // `steady` measures keys and waits.
    BeaconSession(std::unique_ptr<platform::AudioOut> audio,
                  const platform::DotTimerMaker& makeTimer, std::unique_ptr<Ptt> ptt,
                  const WallClock& clock = systemWallClock(),
                  const SteadyClock& steady = systemSteadyClock());
    BeaconSession(const BeaconSession&) = delete;
    BeaconSession& operator=(const BeaconSession&) = delete;
    // Releases the transmitter and logs a transmission cut short.
    ~BeaconSession();

    // Views hear everything from now on, in the order they were added.
    void addView(SessionView& view);
    void removeView(SessionView& view);

    // Opens the keyer `choice` names: the lines of "COM" + `comport`, or a rig by CAT. The lines
    // of no port (comport 0) are no keyer at all: nothing is keyed, and that is no failure.
    // The keyer open before is released and closed first. A keyer that does not open is
    // missing: a Turn On then waits for it, trying again on its own.
    Result<> openKeyer(const PttChoice& choice, std::int32_t comport);
    // Releases the transmitter and closes the keyer; none is wanted any more.
    void closeKeyer();
    Ptt& ptt() { return *ptt_; }
    const Ptt& ptt() const { return *ptt_; }
    // A keyer was chosen and is not open.
    bool keyerMissing() const { return wantedKeyer_.has_value() && !ptt_->isOpen(); }

    // Logs each transmission to the file at `path` (its folder made when missing), appended to.
    Result<> openLog(const std::string& path);
    bool logging() const { return logFile_.isOpen(); }
    // Writes an event line (eventLine) to the log, stamped now; nothing without a log.
    void logEvent(const std::string& text);

    // From the next Turn On: cycles on the UTC clock (or at the repeat interval when off), and
    // at most `cycles` of them (0: no limit).
    void setClockTiming(const ClockTiming& timing) { sequencer_.setClockTiming(timing); }
    const ClockTiming& clockTiming() const { return sequencer_.clockTiming(); }
    void setCycleLimit(long cycles) { sequencer_.setCycleLimit(cycles); }
    // How long a key may outlast its pattern's sounding, in ms (at least 1).
    void setMaxKeyMs(int milliseconds);
    int maxKeyMs() const { return maxKeyMs_; }

    // Turn On: renders `pattern` at peak `amplitude` (0..32767) and plays it on output `device`
    // (-1: the system default), the log naming it `patternName`. Nothing while on. With the
    // keyer missing it waits for the keyer instead.
    void turnOn(const BeaconPattern& pattern, std::int32_t amplitude, int device,
                const std::string& patternName);
    // One transmission of `pattern` whose first sample is heard at `at` (UTC, at least
    // kClockFirstMarginNs ahead: the output opens now), keyed and released around it as every
    // cycle is; the output then closes and SessionView::ended is told, also when the start
    // slipped and nothing was keyed. The log names `label`; its cycle counts the transmissions
    // since the session began. Nothing while playing.
    void transmitAt(UtcNanoseconds at, const BeaconPattern& pattern, std::int32_t amplitude,
                    int device, const TransmissionLabel& label);
    // Turn Off: the transmitter is released at once, the queued sound plays out; a wait ends.
    void turnOff();
    // A close request: true when the owner must wait for SessionView::ended; false when
    // nothing plays and the owner may end at once.
    bool close();
    // Renders `pattern` and, while playing, hands it over without a gap; false (told to the
    // views) when the render refuses it.
    bool loadPattern(const BeaconPattern& pattern, std::int32_t amplitude);
    // The parameters changed: the cycle counts from slot 0 again; with `stopTimer` the dot
    // timer stops too.
    void resetDotCounter(bool stopTimer) { sequencer_.resetDotCounter(stopTimer); }
    // Releases the keyer, ends a transmission on record and closes the keyer; what every way
    // out does. Safe to call more than once.
    void shutdown();

    // From Turn On until Turn Off or the end: playing, or waiting to play again.
    bool playing() const { return on_ || sequencer_.deviceOpen(); }
    // What the beacon waits for; None while it plays or is off.
    BeaconWait waiting() const { return waiting_; }
    PlaybackState state() const { return sequencer_.state(); }
    std::int32_t dotCounter() const { return sequencer_.dotCounter(); }
    // Where in the pattern's sound the next block is read from, in samples.
    std::int64_t playPosition() const { return sequencer_.playPosition(); }
    // The sound of the last Turn On or pattern load.
    const PatternStream& sound() const { return sequencer_.sound(); }
    // Gaps in the sound since the output last opened.
    std::int64_t underruns() const { return audio_->underruns(); }

private:
    class Engine;
    struct Notice {
        enum class Kind { Problem, KeyerFailed, SoundLost, End };
        Kind kind = Kind::Problem;
        SessionProblem problem = SessionProblem::OpenFailed;
        std::string message;
    };
    // What Turn On asked for, kept to start again after a wait.
    struct Request {
        BeaconPattern pattern;
        std::int32_t amplitude = 0;
        int device = -1;
        std::string patternName;
        bool started = false; // the sequencer has started it once
    };

    // Runs `call` into the engine; once the outermost such call has returned, the views are
    // told what waited for it.
    void engine(const std::function<void()>& call);
    // Tells the views what waited for the engine's call to return.
    void settle();
    void notify(Notice notice);
    void each(const std::function<void(SessionView&)>& call);
    void tellProblem(SessionProblem kind, const std::string& message);

    // The faults and the waits.
    void onSoundLost();
    void onKeyerFailed(const std::string& reason);
    void beginWait(BeaconWait what, const std::string& reason);
    void endWait();
    void onSessionTick();
    void retryKeyer();
    void retrySound();
    void startOrResume();
    // The on/off and locked states as the views see them, told only when they change.
    void present();
    // The watchdog: armed while the PTT is keyed.
    void armWatchdog();
    void tripWatchdog();
    void updateSessionTimer();

    std::unique_ptr<platform::AudioOut> audio_;
    std::unique_ptr<Ptt> ptt_;
    const WallClock& clock_;
    const SteadyClock& steady_;
    std::optional<std::pair<PttChoice, std::int32_t>> wantedKeyer_;
    std::string keyerProblem_; // why the wanted keyer is missing
    std::string pttDescription_;
    TransmissionLogFile logFile_;
    bool logFailed_ = false;
    TransmissionLogger logger_;
    std::unique_ptr<Engine> engine_;
    std::unique_ptr<platform::DotTimer> timer_;
    std::unique_ptr<platform::DotTimer> sessionTimer_; // retries and the watchdog
    bool sessionTimerRunning_ = false;
    Sequencer sequencer_;
    std::vector<SessionView*> views_;
    std::deque<Notice> notices_;
    int engineDepth_ = 0;
    bool settling_ = false;

    std::optional<Request> request_;
    bool on_ = false;      // turned on and not off: playing or waiting
    bool closing_ = false; // a close request waits for the output
    BeaconWait waiting_ = BeaconWait::None;
    std::string waitReason_;
    SteadyNanoseconds nextTry_ = 0;
    int keyerRetryMs_ = kKeyerRetryFirstMs;
    // The keyer open now has keyed: a failure then is a keyer gone, not one that cannot key.
    bool keyerProven_ = false;
    bool keyerRecovering_ = false; // opened again after a loss, not yet keyed
    bool keyerLost_ = false;       // gone, and tried again in the background
    SteadyNanoseconds nextKeyerTry_ = 0;
    bool single_ = false; // one transmission (transmitAt) under way
    SteadyNanoseconds waitSaidAt_ = 0;
    bool shownPlaying_ = false;
    bool shownActive_ = false;
    bool shownLocked_ = false;
    bool enginePlaying_ = false; // the sequencer's own word, before a wait is added to it
    bool engineLocked_ = false;
    int maxKeyMs_ = kDefaultMaxKeyMs;
    std::optional<SteadyNanoseconds> keyDeadline_;
};

} // namespace vesk
