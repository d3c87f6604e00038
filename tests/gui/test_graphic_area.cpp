#include "ui/toolkit.h"

#include "ui/toolkit_detail.h"

#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    // The image as rows of characters: '.' white, 'R' red, 'B' blue, '?' anything else.
    std::vector<std::string> picture(int width, int height) const {
        std::vector<std::string> rows;
        for (int y = 0; y < height; ++y) {
            std::string row;
            for (int x = 0; x < width; ++x) {
                const Colour c = graphicPixel(dialog_, 502, x, y);
                row += c == kWhite ? '.' : c == kRed ? 'R' : c == kBlue ? 'B' : '?';
            }
            rows.push_back(row);
        }
        return rows;
    }
    Window dialog_ = 0;
};

TEST_F(GraphicArea, StartsWhiteAtTheControlsSize) {
    EXPECT_EQ(graphicPixel(dialog_, 502, 0, 0), kWhite);
    EXPECT_EQ(graphicPixel(dialog_, 502, 39, 29), kWhite);
    for (auto [x, y] : {std::pair{40, 0}, std::pair{0, 30}, std::pair{-1, 0}, std::pair{0, -1}}) {
        EXPECT_EQ(graphicPixel(dialog_, 502, x, y), -1) << x << "," << y;
    }
    EXPECT_EQ(graphicPixel(dialog_, 4711, 0, 0), -1);
}

TEST_F(GraphicArea, BoxCoversItsCornersExclusiveOfRightAndBottomWithTheOutlineOnItsBorder) {
    graphicBox(dialog_, 502, 1, 1, 6, 5, kRed, kBlue);
    EXPECT_EQ(picture(7, 6), (std::vector<std::string>{
                                 ".......",
                                 ".BBBBB.",
                                 ".BRRRB.",
                                 ".BRRRB.",
                                 ".BBBBB.",
                                 ".......",
                             }));
}

TEST_F(GraphicArea, BoxesClipAtEveryEdgeOfTheImage) {
    struct Case {
        Rect box; // x1, y1, x2, y2 in the fields x, y, width, height
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases{
        // The strip's green line: (-1, -1) to (n, 5): its left and top outline fall outside.
        {{-1, -1, 3, 3}, {"RRB.", "RRB.", "BBB.", "...."}},
        // Wholly outside: nothing.
        {{-9, -9, -2, -2}, {"....", "....", "....", "...."}},
        // Empty and inverted boxes draw nothing.
        {{2, 2, 2, 3}, {"....", "....", "....", "...."}},
        {{3, 3, 1, 1}, {"....", "....", "....", "...."}},
        // One pixel: only outline.
        {{1, 2, 2, 3}, {"....", "....", ".B..", "...."}},
    };
    for (const Case& c : cases) {
        graphicClear(dialog_, 502, kWhite);
        graphicBox(dialog_, 502, c.box.x, c.box.y, c.box.width, c.box.height, kRed, kBlue);
        EXPECT_EQ(picture(4, 4), c.expected) << c.box.x << "," << c.box.y;
    }
    // Far beyond the right and bottom edges, and huge coordinates: no fault, right part drawn.
    graphicClear(dialog_, 502, kWhite);
    graphicBox(dialog_, 502, 38, 28, INT32_MAX, INT32_MAX, kRed, kBlue);
    EXPECT_EQ(graphicPixel(dialog_, 502, 38, 28), kBlue);
    EXPECT_EQ(graphicPixel(dialog_, 502, 39, 29), kRed);
    graphicBox(dialog_, 502, INT32_MIN, INT32_MIN, 1, 1, kRed, kBlue);
    EXPECT_EQ(graphicPixel(dialog_, 502, 0, 0), kBlue);
}

TEST_F(GraphicArea, TransparentFillOrLineLeavesThatPartAlone) {
    graphicBox(dialog_, 502, 0, 0, 4, 4, kTransparent, kBlue);
    graphicBox(dialog_, 502, 4, 0, 7, 3, kRed, kTransparent);
    EXPECT_EQ(picture(7, 4), (std::vector<std::string>{
                                 "BBBBRRR",
                                 "B..BRRR",
                                 "B..BRRR",
                                 "BBBB...",
                             }));
}

TEST_F(GraphicArea, ClearTakesTheColourAndTheDefaultIsWhite) {
    graphicClear(dialog_, 502, rgb(0, 0, 164));
    EXPECT_EQ(graphicPixel(dialog_, 502, 20, 20), rgb(0, 0, 164));
    graphicClear(dialog_, 502, kTransparent); // nothing to clear to
    EXPECT_EQ(graphicPixel(dialog_, 502, 20, 20), rgb(0, 0, 164));
    graphicClear(dialog_, 502, kDefaultColour);
    EXPECT_EQ(graphicPixel(dialog_, 502, 20, 20), kWhite);
}

TEST_F(GraphicArea, TextIsDrawnBelowAndRightOfItsCornerOnATransparentBackground) {
    graphicClear(dialog_, 502, rgb(224, 255, 255));
    const Colour ink = rgb(0, 0, 235);
    graphicText(dialog_, 502, 5, 4, "590", "Arial", 6, ink);
    int inkPixels = 0;
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 40; ++x) {
            const Colour c = graphicPixel(dialog_, 502, x, y);
            if (c == ink) {
                ++inkPixels;
                EXPECT_GE(x, 5);
                EXPECT_GE(y, 4);
                EXPECT_LT(y, 4 + 12); // 6 points at 96 dpi are 8 pixels; the line is a bit taller
            } else {
                EXPECT_EQ(c, rgb(224, 255, 255)) << x << "," << y;
            }
        }
    }
    EXPECT_GT(inkPixels, 10);

    // A family that is not installed still gives text.
    graphicClear(dialog_, 502, kWhite);
    graphicText(dialog_, 502, 0, 0, "10", "No Such Family", 8, kBlue);
    EXPECT_NE(picture(40, 30), std::vector<std::string>(30, std::string(40, '.')));
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
