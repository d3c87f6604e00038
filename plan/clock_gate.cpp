// SPDX-License-Identifier: GPL-3.0-or-later
#include "plan/clock_gate.h"

namespace vesk::plan {

std::string clockDistrust(const platform::ClockSyncReading& reading) {
    if (!reading.failure.empty()) {
        return "its state cannot be read (" + reading.failure + ")";
    }
    if (reading.unsynchronised) {
        return "the kernel marks it unsynchronised (no time server disciplines it)";
    }
    if (reading.estimatedErrorUs > kMaxClockErrorUs) {
        return "its estimated error is " + std::to_string(reading.estimatedErrorUs / 1000) +
               " ms (more than " + std::to_string(kMaxClockErrorUs / 1000) + " ms)";
    }
    return {};
}

std::string ClockGate::update(const platform::ClockSyncReading& reading) {
    const std::string distrust = clockDistrust(reading);
    if (open_ && !distrust.empty()) {
        open_ = false;
        return "the system clock is not synchronised: " + distrust +
               "; nothing is sent until it is (--no-clock-check sends all the same)";
    }
    if (!open_ && distrust.empty()) {
        open_ = true;
        return "the system clock is synchronised again: transmissions resume";
    }
    return {};
}

} // namespace vesk::plan
