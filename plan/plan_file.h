// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "plan/plan.h"
#include "platform/result.h"

#include <string>
#include <string_view>

namespace vesk::plan {

// Reads the plan file at `path` (TOML): its [station], each [[transmission]] with its pattern
// loaded (pattern files relative to the plan's folder) or made, and checks the whole day
// (checkPlanDay). A failure names the file, the line and the key: "beacon.toml:12: every:
// \"7m\" does not divide the day (86400 s) into whole slots".
Result<Plan> loadPlanFile(const std::string& path);

// The same for plan text already read; `path` names it in messages and gives the folder that
// pattern files are found from.
Result<Plan> readPlan(std::string_view text, const std::string& path);

// "10m", "2m", "30s", "1h", "1m30s" (at least one number and unit h, m or s), or "0", in
// seconds; nothing for any other text.
std::optional<std::int64_t> parseDuration(std::string_view text);

} // namespace vesk::plan
