// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/dial.h"
#include "plan/plan.h"
#include "platform/result.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vesk::plan {

// Runs a hook's command line within a limit in ms (platform::runCommand, or a test's).
using HookRunner =
    std::function<Result<>(const std::vector<std::string>& argv, std::int64_t limitMs)>;

// What a transmission of `entry` needs before its output opens: its hook, given the entry's
// name and frequency in Hz (0 for none) after its own arguments, then its frequency and mode
// set on `dial` and read back. The failure says which step failed and why; nothing is set
// after a hook that failed.
Result<> prepareTransmission(const PlanEntry& entry, Dial* dial, const HookRunner& runHook);

} // namespace vesk::plan
