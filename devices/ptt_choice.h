// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/rig_address.h"
#include "platform/result.h"
#include "platform/serial_lines.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vesk {

// How the transmitter is keyed: by the modem lines of the PTT port ("COM n", chosen in the PTT
// box and kept in its own file), or by CAT command to a rig through Hamlib.
struct PttChoice {
    enum class Keyer { Lines, Cat };
    Keyer keyer = Keyer::Lines;
    platform::PttMethod lines; // with Keyer::Lines: DTR and RTS, not inverted, by default
    RigAddress rig;            // with Keyer::Cat

    bool usesCat() const { return keyer == Keyer::Cat; }
    bool operator==(const PttChoice&) const = default;
};

// The word for the keyer as options and the settings file spell it: "both", "dtr", "rts" or
// "cat"; and back (nothing for any other word).
std::string pttKeyerWord(const PttChoice& choice);
std::optional<PttChoice> pttChoiceFromWord(std::string_view word, bool inverted);

// How the log and the window name the keying: "DTR+RTS on COM 3", "RTS inverted on COM 3",
// "DTR+RTS, no port" for port 0, "CAT to Hamlib model 1 at /dev/ttyUSB0 (9600 Bd)",
// "CAT to rigctld at 127.0.0.1:4532".
std::string describePttChoice(const PttChoice& choice, std::int32_t comport);

// Passes a choice that can be opened as it stands; fails with the operator's sentence, e.g.
// for a CAT choice without a rig model, a rigctld address without ":port", a speed below 0.
Result<> checkPttChoice(const PttChoice& choice);

} // namespace vesk
