#include "tone/fast_sine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

namespace vesk {
namespace {

// Two units in the last place of 1: the render's samples are 32767 x sin, so this keeps every
// sample within 1e-11 of what std::sin gives.
constexpr double kTolerance = 4.5e-16;

double largestError(const std::vector<double>& angles) {
    std::vector<double> sines(angles.size());
    fastSines(angles.data(), sines.data(), angles.size());
    double largest = 0.0;
    for (std::size_t i = 0; i < angles.size(); ++i) {
        largest = std::max(largest, std::fabs(sines[i] - std::sin(angles[i])));
    }
    return largest;
}

TEST(FastSines, MatchesStdSinOverTheRangesTheRenderMeets) {
    std::mt19937_64 random(7);
    // The phase stays in 0..2pi for ordinary tones; negative and huge frequencies from pattern
    // files walk it far out, up to the reduction bound.
    for (const double bound : {0.5, 2.0 * std::numbers::pi + 0.2, 50.0, 1.0e4, 1.0e6}) {
        std::uniform_real_distribution<double> angle(-bound, bound);
        std::vector<double> angles(200000);
        for (double& a : angles) {
            a = angle(random);
        }
        EXPECT_LE(largestError(angles), kTolerance) << "angles within +-" << bound;
    }
}

TEST(FastSines, NearMultiplesOfPiAndAtTheLaneEdges) {
    std::vector<double> angles;
    for (int k = -40; k <= 40; ++k) {
        const double centre = k * std::numbers::pi;
        for (const double offset : {0.0, 1e-300, -1e-12, 1e-9, 1e-3, std::numbers::pi / 2}) {
            angles.push_back(centre + offset);
        }
    }
    // Lengths that are not a multiple of any vector width.
    for (std::size_t count : {std::size_t{1}, std::size_t{3}, std::size_t{5}, angles.size()}) {
        EXPECT_LE(largestError({angles.begin(), angles.begin() + static_cast<long>(count)}),
                  kTolerance)
            << count;
    }
}

TEST(FastSines, BeyondTheReductionBoundGivesStdSinExactly) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<double> angles = {1.0, 1.0e6 + 1.0, -3.0e9,       1.0e300, 2.0,    -inf,
                                        inf, 3.0,         std::nan(""), 1.0e7,   -2.5e15};
    std::vector<double> sines(angles.size());
    fastSines(angles.data(), sines.data(), angles.size());
    for (std::size_t i = 0; i < angles.size(); ++i) {
        const double expected = std::sin(angles[i]);
        if (std::isnan(expected)) {
            EXPECT_TRUE(std::isnan(sines[i])) << angles[i];
        } else if (std::fabs(angles[i]) > 1.0e6) {
            EXPECT_EQ(sines[i], expected) << angles[i];
        } else {
            EXPECT_NEAR(sines[i], expected, kTolerance) << angles[i];
        }
    }
}

} // namespace
} // namespace vesk
