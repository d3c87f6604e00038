// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/clock_sync.h"

#include <cerrno>
#include <cstring>

#include <sys/timex.h>

namespace vesk::platform {

ClockSyncReading readClockSync() {
    timex reading{};
    reading.modes = 0; // read only
    ClockSyncReading result;
    if (::adjtimex(&reading) < 0) {
        result.unsynchronised = true;
        result.failure = std::string("adjtimex: ") + std::strerror(errno);
        return result;
    }
    result.unsynchronised = (reading.status & STA_UNSYNC) != 0;
    result.estimatedErrorUs = reading.esterror;
    return result;
}

} // namespace vesk::platform
