// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/keyer.h"
#include "platform/serial_lines.h"

#include <cstdint>
#include <memory>

namespace vesk {

// Opens "COM" + `comport` through `lines` keyed by `method` (the port releases its lines
// straight after opening) and hands out a keyer over it, which closes the port when it ends.
// The failure is the port's: "COMn: " and the reason.
Result<std::unique_ptr<Keyer>> openLinesKeyer(std::shared_ptr<platform::SerialLines> lines,
                                              std::int32_t comport, platform::PttMethod method);

} // namespace vesk
