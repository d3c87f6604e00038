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
#include <string>
#include <vector>

namespace vesk {

// What can go wrong while a beacon runs, each told once with its sentence.
enum class SessionProblem {
    OpenFailed,    // the sound output did not open; nothing plays
    RenderRefused, // the pattern cannot be rendered; nothing plays
    DeviceLost,    // the sound output went away while playing; playback is off
    KeyingFailed,  // the keyer refused a keying; it shows released
    LogFailed,     // a transmission could not be written to the log; the beacon goes on
};

// What a front end shows of a session: the window draws it, `vesk-cli play` prints it. Every
// method has nothing to do by default. Drawing calls come as things happen; problems and the
// end come once the session's own call has returned, so a view may call back into the session
// from them (turn it off, close it).
class SessionView {
public:
    virtual ~SessionView() = default;
    // The sound output plays (true) or has stopped playing.
    virtual void playingChanged(bool /*playing*/) {}
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
// one whose event loop delivers the output's notifications and the timer's ticks.
class BeaconSession {
public:
    // `audio` plays the sound; `makeTimer` gives the dot timer; `ptt` keys the transmitter;
    // `clock` stamps the log and places cycles on the UTC clock.
    BeaconSession(std::unique_ptr<platform::AudioOut> audio,
                  const platform::DotTimerMaker& makeTimer, std::unique_ptr<Ptt> ptt,
                  const WallClock& clock = systemWallClock());
    BeaconSession(const BeaconSession&) = delete;
    BeaconSession& operator=(const BeaconSession&) = delete;
    // Releases the transmitter and logs a transmission cut short.
    ~BeaconSession();

    // Views hear everything from now on, in the order they were added.
    void addView(SessionView& view);
    void removeView(SessionView& view);

    // Opens the keyer `choice` names: the lines of "COM" + `comport`, or a rig by CAT. The lines
    // of no port (comport 0) are no keyer at all: nothing is keyed, and that is no failure.
    // The keyer open before is released and closed first.
    Result<> openKeyer(const PttChoice& choice, std::int32_t comport);
    // Releases the transmitter and closes the keyer.
    void closeKeyer();
    Ptt& ptt() { return *ptt_; }
    const Ptt& ptt() const { return *ptt_; }

    // Logs each transmission to the file at `path` (its folder made when missing), appended to.
    Result<> openLog(const std::string& path);
    bool logging() const { return logFile_.isOpen(); }

    // From the next Turn On: cycles on the UTC clock (or at the repeat interval when off), and
    // at most `cycles` of them (0: no limit).
    void setClockTiming(const ClockTiming& timing) { sequencer_.setClockTiming(timing); }
    const ClockTiming& clockTiming() const { return sequencer_.clockTiming(); }
    void setCycleLimit(long cycles) { sequencer_.setCycleLimit(cycles); }

    // Turn On: renders `pattern` at peak `amplitude` (0..32767) and plays it on output `device`
    // (-1: the system default), the log naming it `patternName`. Nothing while playing.
    void turnOn(const BeaconPattern& pattern, std::int32_t amplitude, int device,
                const std::string& patternName);
    // One transmission of `pattern` whose first sample is heard at `at` (UTC, at least
    // kClockFirstMarginNs ahead: the output opens now), keyed and released around it as every
    // cycle is; the output then closes and SessionView::ended is told, also when the start
    // slipped and nothing was keyed. The log names `label`; its cycle counts the transmissions
    // since the session began. Nothing while playing.
    void transmitAt(UtcNanoseconds at, const BeaconPattern& pattern, std::int32_t amplitude,
                    int device, const TransmissionLabel& label);
    // Turn Off: the transmitter is released at once, the queued sound plays out.
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

    // From Turn On until the output has closed or been lost.
    bool playing() const { return sequencer_.deviceOpen(); }
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
        SessionProblem kind = SessionProblem::OpenFailed;
        std::string message;
        bool end = false; // the end of the session instead of a problem
    };

    // Runs `call` into the engine; once the outermost such call has returned, the views are
    // told what waited for it.
    void engine(const std::function<void()>& call);
    // Tells the views what waited for the engine's call to return.
    void settle();
    void notify(Notice notice);
    void each(const std::function<void(SessionView&)>& call);

    std::unique_ptr<platform::AudioOut> audio_;
    std::unique_ptr<Ptt> ptt_;
    std::string pttDescription_;
    TransmissionLogFile logFile_;
    bool logFailed_ = false;
    TransmissionLogger logger_;
    std::unique_ptr<Engine> engine_;
    std::unique_ptr<platform::DotTimer> timer_;
    Sequencer sequencer_;
    std::vector<SessionView*> views_;
    std::deque<Notice> notices_;
    int engineDepth_ = 0;
    bool settling_ = false;
};

} // namespace vesk
