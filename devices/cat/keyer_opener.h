// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/keyer.h"
#include "platform/serial_lines.h"

#include <memory>

namespace vesk {

// The program's keyers: a CAT choice opens its rig through Hamlib, a lines choice opens the
// PTT port through `lines` (one port for every opening: the system's, or a test's recording
// one).
KeyerOpener keyerOpener(
    std::shared_ptr<platform::SerialLines> lines = std::make_shared<platform::SerialLines>());

} // namespace vesk
