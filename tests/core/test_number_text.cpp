#include "files/number_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace vesk {
namespace {

float singleFromBits(std::uint32_t bits) {
    return std::bit_cast<float>(bits);
}

TEST(PrintTextSingle, SevenDigitsWithSignPositionAndTrailingBlank) {
    const struct {
        float value;
        const char* text;
    } cases[] = {
        {0.0f, " 0 "},
        {-0.0f, " 0 "},
        {0.1f, " .1 "},
        {-0.1f, "-.1 "},
        {2.5f, " 2.5 "},
        {1500.25f, " 1500.25 "},
        {0.5f, " .5 "},
        {0.0123f, " .0123 "},
        {8.0f, " 8 "},
        {1000.0f, " 1000 "},
        {-3.0f, "-3 "},
        {9999999.0f, " 9999999 "},
        {10000000.0f, " 1E+7 "},
        {12345678.0f, " 1.234568E+7 "},
        {100000000.0f, " 1E+8 "},
        {0.00000015f, " 1.5E-7 "},
        {0.0000001f, " .0000001 "}, // seven fraction digits still fit
        {0.00000001f, " 1E-8 "},    // eight do not
        {0.1234567f, " .1234567 "},
        {0.01234567f, " 1.234567E-2 "}, // leading zero counts towards the fraction
        {std::numeric_limits<float>::max(), " 3.402823E+38 "},
        {-std::numeric_limits<float>::max(), "-3.402823E+38 "},
        {std::numeric_limits<float>::denorm_min(), " 1.401298E-45 "},
        {std::numeric_limits<float>::infinity(), " INF "},
        {-std::numeric_limits<float>::infinity(), "-INF "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(printTextSingle(c.value), c.text) << c.value;
        std::string field = c.text;
        field.pop_back();
        EXPECT_EQ(fieldTextSingle(c.value), field) << c.value;
    }
}

// Single values whose exact expansion sits next to a rounding boundary at the 8th digit; the
// expected texts come from the exact decimal value of each bit pattern.
TEST(PrintTextSingle, RoundsFromTheExactExpansion) {
    const struct {
        std::uint32_t bits;
        const char* text;
    } cases[] = {
        // 1.00049149990...: the 8th digit is 4, so it cuts off, although the value rounded to
        // eight digits first would end in an odd 1 followed by 5 and round up.
        {0x3f80101bu, " 1.000491 "},
        {0x3f805087u, " 1.002457 "},
        // 1.0000025033...: the 8th digit is 5 after an even digit, so it cuts off, although
        // the value lies above the half-way point.
        {0x3f800015u, " 1.000002 "},
        {0x3f800069u, " 1.000012 "},
        {0x6c958e61u, " 1.446418E+27 "},
        {0xa50fccb1u, "-1.247262E-16 "},
        {0xf2a74de4u, "-6.627604E+30 "},
        {0x0c5c7fd0u, " 1.698664E-31 "},
        // An exact 5 after an odd digit rounds up.
        {0x099950d8u, " 3.690944E-33 "},
        {0x6e36aab0u, " 1.413316E+28 "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(printTextSingle(singleFromBits(c.bits)), c.text) << std::hex << c.bits;
    }
}

TEST(PrintTextInt, ExactFor32BitAndRoundedBeyondFifteenDigits) {
    const struct {
        std::int64_t value;
        const char* text;
    } cases[] = {
        {0, " 0 "},
        {100, " 100 "},
        {-2, "-2 "},
        {600, " 600 "},
        {std::numeric_limits<std::int32_t>::max(), " 2147483647 "},
        {std::numeric_limits<std::int32_t>::min(), "-2147483648 "},
        {999999999999999, " 999999999999999 "},
        {1000000000000000, " 1E+15 "},
        {1234567890123456, " 1.23456789012346E+15 "}, // 6 dropped after odd 5
        {1234567890123445, " 1.23456789012344E+15 "}, // exact 5 after even 4
        {999999999999999500, " 1E+18 "},              // carries through every digit
        {std::numeric_limits<std::int64_t>::max(), " 9.22337203685478E+18 "},
        {std::numeric_limits<std::int64_t>::min(), "-9.22337203685478E+18 "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(printTextInt(c.value), c.text) << c.value;
        std::string field = c.text;
        field.pop_back();
        EXPECT_EQ(fieldTextInt(c.value), field) << c.value;
    }
}

TEST(FormatSignificant, FirstDroppedDigitDecidesAndExactFiveGoesToEven) {
    const struct {
        double value;
        int digits;
        const char* text;
    } cases[] = {
        {2.5, 1, "2"},
        {3.5, 1, "4"},
        {9.5, 1, "1E+1"},
        {99.5, 2, "1E+2"},
        {0.125, 2, ".12"},
        {0.135, 2, ".14"},       // 0.13500000000000000888: 5 after odd 3
        {0.125000001, 2, ".12"}, // digits after the 5 are not looked at
        {1.58496250072, 1, "2"}, // log2(3)
        {-1.0, 1, "-1"},
        {-0.152, 1, "-.2"},
        {10.0, 1, "1E+1"},
        {0.0, 1, "0"},
        {-0.0, 3, "0"},
        {1e22, 15, "1E+22"}, // exact power of ten
        {1e23, 15, "1E+23"}, // 9.9999999999999991611E+22 rounds up
        {0x1p-1074, 7, "4.940656E-324"},
        {std::numeric_limits<double>::max(), 15, "1.79769313486232E+308"},
        {std::nan(""), 7, "NAN"},
        {-std::numeric_limits<double>::infinity(), 7, "-INF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatSignificant(c.value, c.digits), c.text) << c.value << " / " << c.digits;
    }
}

} // namespace
} // namespace vesk
