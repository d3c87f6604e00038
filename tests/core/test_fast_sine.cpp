// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone/fast_sine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

namespace vesk {
namespace {

TEST(FastSines, MatchesStdSinAndIsExactBeyondTheReductionBound) {
    // Random angles out to the reduction bound (negative and huge frequencies walk the phase far
    // out), multiples of pi, and values past the bound, which must be std::sin exactly.
    std::mt19937_64 random(7);
    std::vector<double> angles;
    for (const double bound : {0.5, 2.0 * std::numbers::pi + 0.2, 50.0, 1.0e4, 1.0e6}) {
        std::uniform_real_distribution<double> angle(-bound, bound);
        std::generate_n(std::back_inserter(angles), 50000, [&] { return angle(random); });
    }
    for (int k = -40; k <= 40; ++k) {
        for (const double offset : {0.0, 1e-300, -1e-12, 1e-9, 1e-3, std::numbers::pi / 2}) {
            angles.push_back(k * std::numbers::pi + offset);
        }
    }
    const double inf = std::numeric_limits<double>::infinity();
    for (const double far : {1.0e6 + 1.0, -3.0e9, 1.0e300, -inf, inf, std::nan(""), -2.5e15}) {
        angles.insert(angles.end(), {far, 1.0}); // mixed within a vector
    }
    // Lengths that are not a multiple of any vector width.
    for (const std::size_t count :
         {std::size_t{1}, std::size_t{3}, std::size_t{5}, angles.size()}) {
        std::vector<double> sines(count);
        fastSines(angles.data(), sines.data(), count);
        for (std::size_t i = 0; i < count; ++i) {
            const double a = angles[i];
            if (std::isnan(a) || std::isinf(a)) {
                ASSERT_TRUE(std::isnan(sines[i])) << a;
            } else if (std::fabs(a) > 1.0e6) {
                ASSERT_EQ(sines[i], std::sin(a)) << a;
            } else {
                // Two units in the last place of 1: 32767 x sin stays within 1e-11.
                ASSERT_NEAR(sines[i], std::sin(a), 4.5e-16) << a;
            }
        }
    }
}

} // namespace
} // namespace vesk
