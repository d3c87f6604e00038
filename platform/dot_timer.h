// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>

namespace vesk::platform {

// The dot timer: ticks once per dot while started, on the thread that owns it.
//
// Callers guarantee: one thread makes every call and runs an event loop.
// Implementations guarantee: no tick arrives after stop() has returned, and none from inside
// start() or stop(); a restart begins a whole new period.
class DotTimer {
public:
    virtual ~DotTimer() = default;
    // Starts (or restarts) ticking every `milliseconds` ms, at least 1.
    virtual void start(int milliseconds) = 0;
    virtual void stop() = 0;
};

// Makes a dot timer that calls `tick` at each tick.
using DotTimerMaker = std::function<std::unique_ptr<DotTimer>(std::function<void()> tick)>;

// The event loop's precise timer (Qt).
std::unique_ptr<DotTimer> makeDotTimer(std::function<void()> tick);

} // namespace vesk::platform
