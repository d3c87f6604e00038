// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/result.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// The WSPR message with a callsign, a 4-character locator and the power (type 1): 50 bits,
// a rate-1/2 convolutional code with constraint length 32, bit-reversal interleaving and the
// sync vector give 162 symbols of 0..3, sent as four tones 12000/8192 Hz apart, each symbol
// 8192/12000 s long.
namespace vesk::beacon {

inline constexpr int kWsprSymbolCount = 162;
// Tone spacing in Hz, exact in single precision.
inline constexpr float kWsprToneSpacing = 12000.0f / 8192.0f;
// The symbol length in whole ms: 8192/12000 s is 682.67 ms.
inline constexpr int kWsprSymbolMs = 683;

// The tone of each symbol, 0..3.
using WsprSymbols = std::array<std::uint8_t, kWsprSymbolCount>;

// The channel symbols of "CALLSIGN LOCATOR POWER". The callsign (either case) has up to six
// characters with a digit as its second or third; the locator is two letters A..R and two
// digits; the power is 0..60 dBm ending in 0, 3 or 7. Anything else fails with a message that
// names the field and what is wrong with it.
Result<WsprSymbols> wsprSymbols(std::string_view callsign, std::string_view locator, int powerDbm);

} // namespace vesk::beacon
