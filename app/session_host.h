// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "session/beacon_session.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QObject;
class QThread;

namespace vesk {

// The window's beacon session, on a thread of its own: the sound is fed, the PTT keyed and the
// rig spoken to there, so a window held up (a long export, a slow dialog, a rig that does not
// answer) neither opens a gap in the sound nor keeps a key past it, and the window never waits
// for a rig. The window asks through the host, in order; what the session reports reaches the
// window's views on the window's thread, in the order it was told. A test may keep the session on
// the window's own thread, where everything happens at once.
class SessionHost {
public:
    using Maker = std::function<std::unique_ptr<BeaconSession>()>;
    enum class Thread { Own, Caller };

    // Makes the session with `make`, on the thread it will live on.
    SessionHost(const Maker& make, Thread thread);
    // Ends the session (the transmitter released, a transmission cut short logged) and its
    // thread.
    ~SessionHost();
    SessionHost(const SessionHost&) = delete;
    SessionHost& operator=(const SessionHost&) = delete;

    // `view` hears the session from now on, on the window's thread.
    void addView(SessionView& view);

    // What the session's operations of the same names do, asked in order.
    void turnOn(const BeaconPattern& pattern, std::int32_t amplitude, int device,
                const std::string& patternName);
    void turnOff();
    // A close request: true when the window must wait for SessionView::ended, which then comes
    // whatever the session finds.
    bool close();
    void loadPattern(const BeaconPattern& pattern, std::int32_t amplitude);
    void resetDotCounter(bool stopTimer);
    void setClockTiming(const ClockTiming& timing);
    void setMaxKeyMs(int milliseconds);
    // Opens the keyer there; `done` hears how it went, on the window's thread, while the window
    // goes on.
    void openKeyer(const PttChoice& choice, std::int32_t comport,
                   std::function<void(const Result<>&)> done);
    // Waits for the answer: serial lines open at once (a rig may not; it takes the other).
    Result<> openKeyer(const PttChoice& choice, std::int32_t comport);
    // Waits for the answer: a log opens at once.
    Result<> openLog(const std::string& path);
    // Waits until the transmitter is released: what every way out of the window does.
    void shutdown();
    // The sound outputs by name, read afresh on the thread that uses the sound system (which
    // must not be asked from two threads at once).
    std::vector<std::string> outputDevices();

    // As the window last heard: on (playing or waiting) or the queued sound still playing out
    // (what BeaconSession::playing says), and what it set.
    bool playing() const;
    const ClockTiming& clockTiming() const { return clockTiming_; }
    int maxKeyMs() const { return maxKeyMs_; }

    // The session itself, with Thread::Caller only (tests).
    BeaconSession& direct() { return *session_; }

private:
    class Relay;

    // Runs `call` on the session's thread, after what was asked before; `wait` until it ran.
    void ask(std::function<void(BeaconSession&)> call, bool wait = false);
    // Runs `call` on the window's thread, after what was told before.
    void tell(std::function<void()> call);

    std::unique_ptr<QThread> thread_;      // null with Thread::Caller
    std::unique_ptr<QObject> sessionSide_; // lives on the session's thread
    std::unique_ptr<QObject> windowSide_;  // lives on the window's thread
    std::unique_ptr<BeaconSession> session_;
    std::unique_ptr<Relay> relay_;
    std::vector<SessionView*> views_;
    bool playing_ = false;
    ClockTiming clockTiming_;
    int maxKeyMs_ = kDefaultMaxKeyMs;
};

} // namespace vesk
