// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialog_units.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <tuple>

namespace vesk::ui {
namespace {

TEST(DialogUnits, MulDivRoundsHalvesAwayFromZeroIn64Bits) {
    // 1.5 and -1.5 (also with a negative divisor) go away from zero, 1.4 and -1.4 towards it;
    // the product may need 64 bits; 2^31, 2^32 - 2 and a zero divisor give -1.
    const struct {
        std::int32_t a, b, c, result;
    } cases[] = {{1, 6, 4, 2},
                 {-1, 6, 4, -2},
                 {1, 3, -2, -2},
                 {-1, 3, -2, 2},
                 {7, 1, 5, 1},
                 {-7, 1, 5, -1},
                 {INT32_MAX, 2, 4, 1073741824},
                 {INT32_MIN, 1, 1, INT32_MIN},
                 {INT32_MIN, 1, -1, -1},
                 {INT32_MAX, 2, 1, -1},
                 {5, 7, 0, -1}};
    for (const auto& c : cases) {
        EXPECT_EQ(mulDiv(c.a, c.b, c.c), c.result) << c.a << " * " << c.b << " / " << c.c;
    }
}

TEST(DialogUnits, BaseUnitsRoundTheAverageWidthFromWholeTwentySixths) {
    // 52 letters: the advance / 26 is twice the average width, whole; halves round up.
    const struct {
        int advance, x;
    } cases[] = {{312, 6}, {337, 6}, {285, 5}, {286, 6}, {0, 0}, {25, 0}, {26, 1}};
    for (const auto& c : cases) {
        EXPECT_EQ(baseUnitsOf(c.advance, 13).x, c.x) << c.advance;
    }
    EXPECT_EQ(baseUnitsOf(312, 13).y, 13);
}

TEST(DialogUnits, RectanglesConvertEdgeByEdge) {
    // Base units 6 x 13: 1.5 pixels a horizontal unit, 1.625 a vertical one.
    const struct {
        Rect units, pixels;
    } cases[] = {
        {{10, 42, 100, 60}, {15, 68, 150, 98}},
        {{1, 4, 1, 4}, {2, 7, 1, 6}},     // left 1.5 -> 2, right 3: width 1, not 1.5 -> 2
        {{-1, -4, 2, 4}, {-2, -7, 4, 7}}, // -1.5 -> -2 and -6.5 -> -7: away from zero
        {{0, 0, 200, 70}, {0, 0, 300, 114}},
        {{3, 3, -2, -2}, {5, 5, -3, -3}}, // a negative extent stays negative
    };
    for (const auto& c : cases) {
        const Rect r = mapDialogRect(c.units, BaseUnits{6, 13});
        EXPECT_EQ((std::tuple{r.x, r.y, r.width, r.height}),
                  (std::tuple{c.pixels.x, c.pixels.y, c.pixels.width, c.pixels.height}))
            << c.units.x << "," << c.units.y << "," << c.units.width << "," << c.units.height;
    }
    // The far edge of a rectangle reaching past 32 bits stops at the last value instead of
    // wrapping round to a negative one.
    const Rect far = mapDialogRect({INT32_MAX - 1, 0, 8, 8}, BaseUnits{4, 8});
    EXPECT_EQ((std::pair{far.x, far.width}), (std::pair{INT32_MAX - 1, 1}));
}

// The main window (810 x 255 pixels, with frame and menu bar about 826 x 319) at 150 % and
// 200 % on the common screens: it keeps its scale where it fits, shrinks just enough where
// not, and is never made smaller than its pixels.
TEST(DialogUnits, WindowScaleFitsTheScreen) {
    struct Case {
        double scale;
        std::int32_t areaWidth, areaHeight;
        double expected;
    };
    for (const Case c :
         {Case{1.0, 800, 600, 1.0}, Case{1.0, 1366, 768, 1.0}, Case{1.5, 1920, 1080, 1.5},
          Case{2.0, 1920, 1080, 2.0}, Case{1.5, 1366, 768, 1.5}, Case{2.0, 1366, 768, 1.65},
          Case{2.0, 1600, 900, 1.93}, Case{2.0, 640, 480, 1.0}}) {
        const double scale = fittingScale(c.scale, 826, 319, c.areaWidth, c.areaHeight);
        EXPECT_DOUBLE_EQ(scale, c.expected) << c.scale << " on " << c.areaWidth;
        if (scale > 1.0) {
            EXPECT_LE(826 * scale, c.areaWidth);
            EXPECT_LE(319 * scale, c.areaHeight);
        }
    }
}

} // namespace
} // namespace vesk::ui
