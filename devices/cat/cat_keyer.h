// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/keyer.h"
#include "devices/rig_address.h"

#include <memory>

namespace vesk {

// Opens the rig at `address` for PTT by CAT command and hands out a keyer over it, released;
// a rig that does not take the release is closed again. The failure is the rig's: its name
// and Hamlib's reason.
Result<std::unique_ptr<Keyer>> openCatKeyer(const RigAddress& address);

} // namespace vesk
