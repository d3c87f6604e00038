// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/number_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace vesk {
namespace {

TEST(PrintTextSingle, SevenDigitsWithSignPositionAndTrailingBlank) {
    const float max = std::numeric_limits<float>::max();
    const float inf = std::numeric_limits<float>::infinity();
    // 1E-7 still fits as seven fraction digits, 1E-8 does not; a leading zero counts.
    const struct {
        float value;
        const char* text;
    } cases[] = {{0.0f, " 0 "},
                 {-0.0f, " 0 "},
                 {0.1f, " .1 "},
                 {-0.1f, "-.1 "},
                 {1500.25f, " 1500.25 "},
                 {0.0123f, " .0123 "},
                 {-3.0f, "-3 "},
                 {9999999.0f, " 9999999 "},
                 {10000000.0f, " 1E+7 "},
                 {12345678.0f, " 1.234568E+7 "},
                 {0.00000015f, " 1.5E-7 "},
                 {0.0000001f, " .0000001 "},
                 {0.00000001f, " 1E-8 "},
                 {0.1234567f, " .1234567 "},
                 {0.01234567f, " 1.234567E-2 "},
                 {-max, "-3.402823E+38 "},
                 {std::numeric_limits<float>::denorm_min(), " 1.401298E-45 "},
                 {inf, " INF "},
                 {-inf, "-INF "}};
    for (const auto& c : cases) {
        EXPECT_EQ(printTextSingle(c.value), c.text) << c.value;
        const std::string text = c.text;
        EXPECT_EQ(fieldTextSingle(c.value), text.substr(0, text.size() - 1)) << c.value;
    }
}

// Bit patterns whose exact expansion sits next to a rounding boundary at the 8th digit.
TEST(PrintTextSingle, RoundsFromTheExactExpansion) {
    const struct {
        std::uint32_t bits;
        const char* text;
    } cases[] = {
        // 1.00049149990...: the 8th digit 4 cuts off, although rounding to eight digits first
        // would give an odd 1 followed by 5 and round up.
        {0x3f80101bu, " 1.000491 "},
        // 1.0000025033...: a 5 after an even digit cuts off, although above the half-way point.
        {0x3f800015u, " 1.000002 "},
        {0x6c958e61u, " 1.446418E+27 "},
        {0xa50fccb1u, "-1.247262E-16 "},
        {0x099950d8u, " 3.690944E-33 "}, // an exact 5 after an odd digit rounds up
    };
    for (const auto& c : cases) {
        EXPECT_EQ(printTextSingle(std::bit_cast<float>(c.bits)), c.text) << std::hex << c.bits;
    }
}

TEST(PrintTextInt, ExactFor32BitAndRoundedBeyondFifteenDigits) {
    // 1234567890123456 drops a 6 after an odd 5; ...445 has an exact 5 after an even 4;
    // 999999999999999500 carries through every digit.
    const struct {
        std::int64_t value;
        const char* text;
    } cases[] = {{0, " 0 "},
                 {-2, "-2 "},
                 {std::numeric_limits<std::int32_t>::max(), " 2147483647 "},
                 {std::numeric_limits<std::int32_t>::min(), "-2147483648 "},
                 {999999999999999, " 999999999999999 "},
                 {1000000000000000, " 1E+15 "},
                 {1234567890123456, " 1.23456789012346E+15 "},
                 {1234567890123445, " 1.23456789012344E+15 "},
                 {999999999999999500, " 1E+18 "},
                 {std::numeric_limits<std::int64_t>::min(), "-9.22337203685478E+18 "}};
    for (const auto& c : cases) {
        EXPECT_EQ(printTextInt(c.value), c.text) << c.value;
        const std::string text = c.text;
        EXPECT_EQ(fieldTextInt(c.value), text.substr(0, text.size() - 1)) << c.value;
    }
}

TEST(FormatSignificant, FirstDroppedDigitDecidesAndExactFiveGoesToEven) {
    // 0.135 is 0.13500000000000000888 (5 after odd 3); 1e23 is 9.99...916E+22.
    const struct {
        double value;
        int digits;
        const char* text;
    } cases[] = {{2.5, 1, "2"},
                 {3.5, 1, "4"},
                 {9.5, 1, "1E+1"},
                 {99.5, 2, "1E+2"},
                 {0.125, 2, ".12"},
                 {0.135, 2, ".14"},
                 {0.125000001, 2, ".12"},
                 {-0.152, 1, "-.2"},
                 {-0.0, 3, "0"},
                 {1e22, 15, "1E+22"},
                 {1e23, 15, "1E+23"},
                 {0x1p-1074, 7, "4.940656E-324"},
                 {std::nan(""), 7, "NAN"},
                 {-std::numeric_limits<double>::infinity(), 7, "-INF"}};
    for (const auto& c : cases) {
        EXPECT_EQ(formatSignificant(c.value, c.digits), c.text) << c.value << " / " << c.digits;
    }
}

} // namespace
} // namespace vesk
