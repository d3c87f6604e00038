// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/result.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vesk::platform {

// Runs `argv` (argv[0] a path, or a name looked up on PATH; no shell) as a process group of its
// own, its input from /dev/null, its output discarded and its error output kept, and waits for
// it at most `limitMs` ms (at least 1); at the limit the whole group is killed. Fails unless it
// exits with status 0, naming the program and the reason: its exit status or signal and the
// last line of its error output, the time limit, or why it could not be started.
Result<> runCommand(const std::vector<std::string>& argv, std::int64_t limitMs);

} // namespace vesk::platform
