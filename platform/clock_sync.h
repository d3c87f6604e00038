// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace vesk::platform {

// What the kernel says of the system clock's time sync (adjtimex): the NTP daemon or
// systemd-timesyncd keeps it up to date.
struct ClockSyncReading {
    bool unsynchronised = false;       // STA_UNSYNC: nothing disciplines the clock
    std::int64_t estimatedErrorUs = 0; // the kernel's estimate of the clock's error, in us
    std::string failure;               // adjtimex itself failed: why; empty otherwise
};

// Reads it now; changes nothing (no privilege needed).
ClockSyncReading readClockSync();

} // namespace vesk::platform
