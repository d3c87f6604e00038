// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/result.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace vesk {

// The rig's dial: the frequency and mode it transmits on, set before a transmission.
//
// Callers guarantee: one thread makes every call; a dial handed out by a keyer (Keyer::dial)
// is not used once that keyer has been destroyed.
// Implementations guarantee: a set has reached the rig when it returns success; the reads come
// from the rig, not from a cache; every failure names the rig and the reason.
class Dial {
public:
    virtual ~Dial() = default;
    // Sets the dial to `hertz` (1 .. 10^12 Hz).
    virtual Result<> setFrequency(std::int64_t hertz) = 0;
    // The dial frequency the rig reports, in Hz.
    virtual Result<std::int64_t> frequency() = 0;
    // Sets the mode by its name as dialModeNames() spells it ("USB"), the passband unchanged.
    virtual Result<> setMode(const std::string& mode) = 0;
    // The mode the rig reports, by the same names.
    virtual Result<std::string> mode() = 0;
};

// The modes a dial takes, by the names the rig library gives them: USB, LSB, CW, FM, ...
// True for one of them (as spelled, upper case).
bool isDialMode(std::string_view mode);
// Them all, blank-separated, for a message.
std::string dialModeList();

// Sets the frequency and then the mode (when not empty) and reads both back: a rig that reads
// back another frequency or mode than it was given fails, naming both.
Result<> tuneDial(Dial& dial, std::int64_t hertz, const std::string& mode);

} // namespace vesk
