// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace vesk::platform {

// The program's own folder under one of the user's base folders: `variable`/vesk when that
// environment variable holds an absolute path (a relative one counts as unset), else
// $HOME/`underHome`/vesk. Empty without a home. ("XDG_STATE_HOME", ".local/state") gives
// ~/.local/state/vesk.
std::string userFolder(const char* variable, const char* underHome);

} // namespace vesk::platform
