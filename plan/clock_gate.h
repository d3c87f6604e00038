// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/clock_sync.h"

#include <cstdint>
#include <string>

namespace vesk::plan {

// A clock whose estimated error is over this (100 ms, in us) is not trusted for slots: a WSPR
// transmission that starts a second late is never decoded.
inline constexpr std::int64_t kMaxClockErrorUs = 100'000;

// Why the system clock cannot be trusted for transmissions on the clock; empty when it can.
std::string clockDistrust(const platform::ClockSyncReading& reading);

// Holds transmissions on the clock while the system clock is not synchronised, and says so
// once when that starts and once when it ends.
class ClockGate {
public:
    // Takes a reading; returns the line to say when the gate has just closed or opened again,
    // empty otherwise.
    std::string update(const platform::ClockSyncReading& reading);
    bool open() const { return open_; }

private:
    bool open_ = true;
};

} // namespace vesk::plan
