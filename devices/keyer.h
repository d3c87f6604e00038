// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/dial.h"
#include "devices/ptt_choice.h"
#include "platform/result.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vesk {

// One way of keying the transmitter, open from the moment it is handed out until it is
// destroyed: the modem lines of a serial port, or a rig by CAT command.
//
// Callers guarantee: one thread makes every call; a keyer that may be keyed is released
// (setKeyed(false) or release()) before it is destroyed, since destroying it closes the port
// or the rig as it stands; a KeyerOpener's keyer is destroyed before the same opener is asked
// for the next one (both may drive the same port).
// Implementations guarantee: a keyer is handed out released; setKeyed has changed the
// transmitter when it returns success; a keying that fails has tried to release again, and
// its sentence names the port or the rig and the reason ("COM3: cannot raise DTR:
// Input/output error"); release() reports nothing and never throws; description() changes
// nothing.
class Keyer {
public:
    virtual ~Keyer() = default;
    // Keys (true) or releases (false) the transmitter.
    virtual Result<> setKeyed(bool keyed) = 0;
    // Releases as far as the port or the rig still answers: the best effort on the way out.
    virtual void release() noexcept = 0;
    // How the log and the window name the keying: "DTR+RTS on COM 3", "CAT to rigctld at
    // 127.0.0.1:4532" (describePttChoice).
    virtual std::string description() const = 0;
    // The dial of the rig this keyer keys by CAT, on the same connection (a serial rig cannot
    // be opened twice); nothing for a keyer without one. It lives as long as the keyer.
    virtual Dial* dial() { return nullptr; }
};

// Opens the keyer that `choice` names, on PTT port "COM" + `comport` (1..n) when it keys by the
// lines; the failure names the port or the rig and the reason.
using KeyerOpener =
    std::function<Result<std::unique_ptr<Keyer>>(const PttChoice& choice, std::int32_t comport)>;

} // namespace vesk
