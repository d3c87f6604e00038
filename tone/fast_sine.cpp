// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone/fast_sine.h"

#include <bit>
#include <cmath>
#include <cstdint>

namespace vesk {

namespace {

// Angles up to this magnitude are reduced below; the bound keeps k x kPiHigh exact.
constexpr double kReductionLimit = 1.0e6;

// pi split for the reduction x - k x pi: the high part has 33 significant bits, so k x kPiHigh
// is exact for |k| < 2^20 and the first subtraction loses nothing.
constexpr double kPiHigh = 0x1.921fb544p+1;
constexpr double kPiLow = 0x1.0b4611a626331p-33;
constexpr double kInvPi = 0x1.45f306dc9c883p-2;

// Adding 1.5 x 2^52 leaves round(x / pi) in the low mantissa bits, its parity in the lowest.
constexpr double kRoundMagic = 0x1.8p52;

// Taylor series of (sin(r) - r) / r^3 in r^2 up to r^18 (sin itself up to r^21); on
// |r| <= pi/2 the first omitted term is below 1.3e-18, far below the rounding of the sum.
constexpr double kSin3 = -1.0 / 6.0;
constexpr double kSin5 = 1.0 / 120.0;
constexpr double kSin7 = -1.0 / 5040.0;
constexpr double kSin9 = 1.0 / 362880.0;
constexpr double kSin11 = -1.0 / 39916800.0;
constexpr double kSin13 = 1.0 / 6227020800.0;
constexpr double kSin15 = -1.0 / 1307674368000.0;
constexpr double kSin17 = 1.0 / 355687428096000.0;
constexpr double kSin19 = -1.0 / 121645100408832000.0;
constexpr double kSin21 = 1.0 / 51090942171709440000.0;

} // namespace

// A plain loop without calls or branches, so that each clone vectorises it; the x86-64-v3
// clone also fuses the multiply-adds, which only makes the result more accurate.
__attribute__((target_clones("arch=x86-64-v3", "default"))) void
fastSines(const double* angles, double* sines, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const double x = angles[i];
        const double kd = x * kInvPi + kRoundMagic;
        const double k = kd - kRoundMagic;
        const double r = (x - k * kPiHigh) - k * kPiLow;
        const double z = r * r;
        double p = kSin21;
        p = p * z + kSin19;
        p = p * z + kSin17;
        p = p * z + kSin15;
        p = p * z + kSin13;
        p = p * z + kSin11;
        p = p * z + kSin9;
        p = p * z + kSin7;
        p = p * z + kSin5;
        p = p * z + kSin3;
        const double sinR = r + (r * z) * p;
        // sin(x) = (-1)^k sin(r)
        const std::uint64_t sign = std::bit_cast<std::uint64_t>(kd) << 63;
        sines[i] = std::bit_cast<double>(std::bit_cast<std::uint64_t>(sinR) ^ sign);
    }
    int unusual = 0;
    for (std::size_t i = 0; i < count; ++i) {
        unusual |= !(std::fabs(angles[i]) <= kReductionLimit);
    }
    if (unusual != 0) {
        for (std::size_t i = 0; i < count; ++i) {
            if (!(std::fabs(angles[i]) <= kReductionLimit)) {
                sines[i] = std::sin(angles[i]);
            }
        }
    }
}

} // namespace vesk
