// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/toolkit.h"

#include "ui/toolkit_detail.h"

#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <string>

namespace vesk::ui {
namespace {

constexpr Colour kWhite = rgb(255, 255, 255);
constexpr Colour kRed = rgb(255, 0, 0);
constexpr Colour kBlue = rgb(0, 0, 255);

class GraphicArea : public ::testing::Test {
protected:
    void SetUp() override {
        dialog_ = dialogNew(Units::Pixels, 0, "Graphic", kCentred, kCentred, 200, 120, 0, 0);
        controlAdd(dialog_, kGraphic, "", 502, "", nullptr, 10, 20, 40, 30, 0, 0);
    }
    void TearDown() override {
        dialogEnd(dialog_, 0);
        processEvents();
    }
    Colour at(int x, int y) const { return graphicPixel(dialog_, 502, x, y); }
    // The image as rows of characters separated by '/': '.' white, 'R' red, 'B' blue, '?' any
    // other colour.
    std::string picture(int width, int height) const {
        std::string rows;
        for (int y = 0; y < height; ++y) {
            rows += y == 0 ? "" : "/";
            for (int x = 0; x < width; ++x) {
                const Colour c = at(x, y);
                rows += c == kWhite ? '.' : c == kRed ? 'R' : c == kBlue ? 'B' : '?';
            }
        }
        return rows;
    }
    Window dialog_ = 0;
};

TEST_F(GraphicArea, StartsWhiteAtTheControlsSizeAndClearsToAColour) {
    EXPECT_EQ(at(0, 0), kWhite);
    EXPECT_EQ(at(39, 29), kWhite);
    for (auto [x, y] : {std::pair{40, 0}, std::pair{0, 30}, std::pair{-1, 0}, std::pair{0, -1}}) {
        EXPECT_EQ(at(x, y), -1) << x << "," << y;
    }
    EXPECT_EQ(graphicPixel(dialog_, 4711, 0, 0), -1);
    graphicClear(dialog_, 502, rgb(0, 0, 164));
    graphicClear(dialog_, 502, kTransparent); // nothing to clear to
    EXPECT_EQ(at(20, 20), rgb(0, 0, 164));
    graphicClear(dialog_, 502, kDefaultColour);
    EXPECT_EQ(at(20, 20), kWhite);
}

TEST_F(GraphicArea, BoxesFillInsideTheirOutlineExclusiveOfRightAndBottomAndClip) {
    const struct {
        int x1, y1, x2, y2;
        Colour fill, line;
        const char* expected;
    } cases[] = {
        {1, 1, 6, 5, kRed, kBlue, "......./.BBBBB./.BRRRB./.BRRRB./.BBBBB./......."},
        {-1, -1, 3, 3, kRed, kBlue, "RRB./RRB./BBB./...."}, // outline partly outside
        {-9, -9, -2, -2, kRed, kBlue, "..../..../..../...."},
        {2, 2, 2, 3, kRed, kBlue, "..../..../..../...."}, // empty
        {3, 3, 1, 1, kRed, kBlue, "..../..../..../...."}, // inverted
        {1, 2, 2, 3, kRed, kBlue, "..../..../.B../...."}, // one pixel: outline only
        {0, 0, 4, 4, kTransparent, kBlue, "BBBB/B..B/B..B/BBBB"},
        {1, 0, 4, 3, kRed, kTransparent, ".RRR/.RRR/.RRR/...."},
    };
    for (const auto& c : cases) {
        graphicClear(dialog_, 502, kWhite);
        graphicBox(dialog_, 502, c.x1, c.y1, c.x2, c.y2, c.fill, c.line);
        const std::string expected = c.expected;
        const auto width = static_cast<int>(expected.find('/'));
        EXPECT_EQ(picture(width, static_cast<int>(expected.size() + 1) / (width + 1)), expected)
            << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2;
    }
    // Huge coordinates past any edge: no fault, the part inside is drawn.
    graphicClear(dialog_, 502, kWhite);
    graphicBox(dialog_, 502, 38, 28, INT32_MAX, INT32_MAX, kRed, kBlue);
    EXPECT_EQ(at(38, 28), kBlue);
    EXPECT_EQ(at(39, 29), kRed);
    graphicBox(dialog_, 502, INT32_MIN, INT32_MIN, 1, 1, kRed, kBlue);
    EXPECT_EQ(at(0, 0), kBlue);
}

TEST_F(GraphicArea, TextIsDrawnBelowAndRightOfItsCornerOnATransparentBackground) {
    const Colour paper = rgb(224, 255, 255);
    const Colour ink = rgb(0, 0, 235);
    graphicClear(dialog_, 502, paper);
    graphicText(dialog_, 502, 5, 4, "590", "Arial", 6, ink);
    int inkPixels = 0;
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 40; ++x) {
            if (at(x, y) == ink) {
                ++inkPixels;
                EXPECT_TRUE(x >= 5 && y >= 4 && y < 16) << x << "," << y; // 6 pt: 8 px high
            } else {
                EXPECT_EQ(at(x, y), paper) << x << "," << y;
            }
        }
    }
    EXPECT_GT(inkPixels, 10);
    // A family that is not installed still gives text.
    graphicClear(dialog_, 502, kWhite);
    graphicText(dialog_, 502, 0, 0, "10", "No Such Family", 8, kBlue);
    EXPECT_NE(picture(40, 30).find_first_not_of("./"), std::string::npos);
}

TEST_F(GraphicArea, TheScreenShowsTheBitmapAfterShow) {
    dialogShowModeless(dialog_,
                       [](Window, std::uint32_t, std::uint32_t, std::int32_t) { return 0; });
    graphicClear(dialog_, 502, kRed);
    graphicBox(dialog_, 502, 0, 0, 2, 2, kBlue, kBlue);
    graphicShow(dialog_, 502);
    const QImage shot = detail::dialogWidget(dialog_)->grab().toImage();
    EXPECT_EQ(detail::fromArgb(shot.pixel(10, 20)), kBlue);
    EXPECT_EQ(detail::fromArgb(shot.pixel(12, 22)), kRed);
    EXPECT_EQ(detail::fromArgb(shot.pixel(49, 49)), kRed);
    EXPECT_NE(detail::fromArgb(shot.pixel(50, 50)), kRed);
}

} // namespace
} // namespace vesk::ui
