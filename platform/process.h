// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace vesk::platform {

// Starts `program` (a path, or a name looked up on PATH) with `args` as a process of its own
// and returns at once; false when it could not be started. The child outlives this program.
bool startDetached(const std::string& program, const std::vector<std::string>& args);

// The absolute path of `name` on PATH; empty when there is none.
std::string findExecutable(const std::string& name);

} // namespace vesk::platform
