// SPDX-License-Identifier: GPL-3.0-or-later
#include "beacon/wspr.h"

#include <algorithm>
#include <bit>
#include <cctype>

namespace vesk::beacon {

namespace {

// The sync vector: the low bit of each symbol, the same in every message.
constexpr std::string_view kSync = "1100000010001110001001011110000000100101000000101100110100"
                                   "0110100001101010101001001011000110101000100000100100111011"
                                   "0011010001110000010100110000000110101100011000";
static_assert(kSync.size() == kWsprSymbolCount);

// The code's two generator polynomials (constraint length 32).
constexpr std::uint32_t kPolyA = 0xF2D05351u;
constexpr std::uint32_t kPolyB = 0xE4613C47u;

bool isUpper(char c) {
    return c >= 'A' && c <= 'Z';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// 0..9 for digits, 10..35 for letters, 36 for a blank.
std::uint32_t charValue(char c) {
    if (isDigit(c)) {
        return static_cast<std::uint32_t>(c - '0');
    }
    if (isUpper(c)) {
        return static_cast<std::uint32_t>(c - 'A' + 10);
    }
    return 36;
}

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

// The callsign as 28 bits; fails when it has no type-1 form.
Result<std::uint32_t> packCallsign(std::string_view typed) {
    std::string call = upper(typed);
    const auto refuse = [&](const std::string& why) {
        return fail("callsign \"" + std::string(typed) + "\" cannot be sent: " + why);
    };
    if (call.empty()) {
        return fail("no callsign given");
    }
    if (call.find('/') != std::string::npos) {
        return refuse("a prefix or suffix with / needs a compound message, which is not made");
    }
    if (call.size() > 6) {
        return refuse("it has more than six characters");
    }
    if (!std::all_of(call.begin(), call.end(), [](char c) { return isUpper(c) || isDigit(c); })) {
        return refuse("it may hold letters and digits only");
    }
    // The digit of the call area goes to the third place: "G4JNT" is sent as " G4JNT".
    if (call.size() >= 2 && isDigit(call[1]) && (call.size() < 3 || !isDigit(call[2]))) {
        call.insert(call.begin(), ' ');
    }
    if (call.size() < 3 || !isDigit(call[2])) {
        return refuse("it needs a digit as its second or third character");
    }
    // Three places are left for what follows the digit: "N0CALL" has one too many.
    const std::size_t after = call.size() - 3;
    if (after > 3) {
        return refuse("it has " + std::to_string(after) + " characters after the digit " + call[2] +
                      "; a WSPR callsign has at most three (K1ABC, PA0XYZ)");
    }
    if (!std::all_of(call.begin() + 3, call.end(), isUpper)) {
        return refuse("only letters may follow the digit " + std::string(1, call[2]));
    }
    call.resize(6, ' ');
    std::uint32_t n = charValue(call[0]);
    n = n * 36 + charValue(call[1]);
    n = n * 10 + charValue(call[2]);
    for (int i = 3; i < 6; ++i) {
        n = n * 27 + charValue(call[static_cast<std::size_t>(i)]) - 10;
    }
    return n;
}

// Locator and power as 22 bits; fails when either is outside the message's range.
Result<std::uint32_t> packLocatorAndPower(std::string_view typed, int powerDbm) {
    const std::string loc = upper(typed);
    if (loc.size() != 4 || loc[0] < 'A' || loc[0] > 'R' || loc[1] < 'A' || loc[1] > 'R' ||
        !isDigit(loc[2]) || !isDigit(loc[3])) {
        return fail("locator \"" + std::string(typed) +
                    "\" cannot be sent: it needs two letters A to R and two digits (JO22)");
    }
    const int last = powerDbm % 10;
    if (powerDbm < 0 || powerDbm > 60 || (last != 0 && last != 3 && last != 7)) {
        return fail("power " + std::to_string(powerDbm) +
                    " dBm cannot be sent: it must be 0 to 60 dBm ending in 0, 3 or 7");
    }
    const auto value = [](char c, char first) {
        return static_cast<std::uint32_t>(c - first);
    };
    const std::uint32_t grid = (179 - 10 * value(loc[0], 'A') - value(loc[2], '0')) * 180 +
                               10 * value(loc[1], 'A') + value(loc[3], '0');
    return grid * 128 + static_cast<std::uint32_t>(powerDbm + 64);
}

} // namespace

Result<WsprSymbols> wsprSymbols(std::string_view callsign, std::string_view locator, int powerDbm) {
    const Result<std::uint32_t> n = packCallsign(callsign);
    if (!n) {
        return n.failure();
    }
    const Result<std::uint32_t> m = packLocatorAndPower(locator, powerDbm);
    if (!m) {
        return m.failure();
    }
    // 28 + 22 message bits, then 31 zero bits that bring the encoder back to its start.
    const std::uint64_t message = (std::uint64_t{*n} << 22) | *m;
    std::array<std::uint8_t, kWsprSymbolCount> coded{};
    std::uint32_t reg = 0;
    for (int i = 0; i < 81; ++i) {
        const std::uint32_t bit =
            i < 50 ? static_cast<std::uint32_t>((message >> (49 - i)) & 1u) : 0u;
        reg = (reg << 1) | bit;
        coded[static_cast<std::size_t>(2 * i)] =
            static_cast<std::uint8_t>(std::popcount(reg & kPolyA) & 1);
        coded[static_cast<std::size_t>(2 * i + 1)] =
            static_cast<std::uint8_t>(std::popcount(reg & kPolyB) & 1);
    }
    // Bit-reversal interleaving: the p-th coded bit goes to the p-th bit-reversed index
    // below 162.
    WsprSymbols symbols{};
    std::size_t p = 0;
    for (unsigned i = 0; i < 256 && p < coded.size(); ++i) {
        unsigned j = 0;
        for (int b = 0; b < 8; ++b) {
            j |= ((i >> b) & 1u) << (7 - b);
        }
        if (j < coded.size()) {
            symbols[j] = static_cast<std::uint8_t>(2 * coded[p++] + (kSync[j] - '0'));
        }
    }
    return symbols;
}

} // namespace vesk::beacon
