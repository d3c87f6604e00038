// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/ptt_choice.h"
#include "platform/result.h"
#include "platform/signal_watch.h"
#include "session/beacon_session.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// What the headless beacons (play and run) share: their lines on stderr and the opening of the
// session's log and keyer.
namespace vesk::cli {

// One line on stderr in one write, so that a reader of the pipe never sees half of it.
void say(const std::string& line);

// The wall clock in UTC to the millisecond, as a cycle line starts: 2026-12-07T01:02:03.456Z.
std::string utcNow();

// The log and the keyer, opened before anything plays; the failure is the tool's message.
Result<> openLogAndKeyer(BeaconSession& session, const PttChoice& ptt, std::int32_t comport,
                         const std::string& logPath);

// Watches the stop signals (HUP, INT, QUIT, TERM) from now on, each calling `onStop` as it
// stands then; null, said on stderr, when they cannot be watched.
std::unique_ptr<platform::SignalWatch> watchStopSignals(const std::function<void()>& onStop);

} // namespace vesk::cli
