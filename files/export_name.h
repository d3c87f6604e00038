// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace vesk {

// The name a save really writes: `name` with the extension of its last path component (from
// the first "." on) replaced by `extension`, spelled as given, or with `extension` appended
// when it has none. "/p/night.v2.txt" + ".txt" -> "/p/night.txt"; "/data.old/beacon" + ".scp"
// -> "/data.old/beacon.scp". Dots that begin the component belong to the name, so ".beacon"
// -> ".beacon.txt" and ".beacon.dat" -> ".beacon.txt".
std::string exportFileName(const std::string& name, const std::string& extension);

} // namespace vesk
