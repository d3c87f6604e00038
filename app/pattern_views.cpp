// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pattern_views.h"

#include "ui/messages.h"

#include <algorithm>
#include <cmath>

namespace vesk {

namespace {

constexpr ui::Colour kWhite = ui::rgb(255, 255, 255);
constexpr ui::Colour kGreyColumn = ui::rgb(235, 235, 235);
constexpr ui::Colour kCentreBand = ui::rgb(192, 192, 192);
constexpr ui::Colour kScaleBackground = ui::rgb(224, 255, 255);
constexpr ui::Colour kScaleText = ui::rgb(0, 0, 235);
constexpr ui::Colour kStripBackground = ui::rgb(0, 0, 164);
constexpr ui::Colour kStripLine = ui::rgb(0, 255, 0);
constexpr ui::Colour kRed = ui::rgb(255, 0, 0);
constexpr ui::Colour kBlue = ui::rgb(0, 0, 255);
constexpr ui::Colour kOtherLevel = ui::rgb(0, 255, 255);

// Foreground colours: the outline of every box drawn without a line colour of its own.
constexpr ui::Colour kGridForeground = kWhite;
constexpr ui::Colour kStripForeground = kStripBackground;
constexpr ui::Colour kCycleForeground = kWhite;

std::int32_t roundHalfEven(double value) {
    return roundToInt32(value);
}

// Number with a sign position: a blank for zero and positive values.
std::string signedText(std::int32_t value) {
    return value < 0 ? std::to_string(value) : " " + std::to_string(value);
}

// Height of the pattern grid in pixels: client y 0..99.
constexpr std::int32_t kGridHeight = 100;

bool slotInRange(std::int32_t slot) {
    return slot >= 0 && slot < kSlotCount;
}

void clearColumn(ui::Window window, std::int32_t slot) {
    const std::int32_t x = 6 * slot;
    if (slot % 2 == 0) {
        ui::graphicBox(window, kPatternGridId, x - 3, 4, x + 4, 100, kGreyColumn, kGridForeground);
        ui::graphicBox(window, kPatternGridId, x - 3, 45, x + 4, 51, kCentreBand, kGridForeground);
    } else {
        ui::graphicBox(window, kPatternGridId, x - 2, 4, x + 4, 100, kWhite, kGridForeground);
    }
}

// A dot of row `row` (a file may hold rows that are not whole numbers: the box follows them).
void drawDot(ui::Window window, std::int32_t slot, double row, float levelCode) {
    const std::int32_t x = 6 * slot;
    ui::graphicBox(window, kPatternGridId, x - 3, roundHalfEven(6.0 * row - 3.0), x + 4,
                   roundHalfEven(6.0 * row + 4.0), levelColour(levelCode), kGridForeground);
}

} // namespace

namespace {

// The five level codes with their colour in the grid and their grey shade in the strip.
struct LevelLook {
    float code;
    ui::Colour colour;
    ui::Colour shade;
};
constexpr LevelLook kLevelLooks[] = {
    {1.0f, ui::rgb(0, 0, 255), ui::rgb(255, 255, 255)},
    {2.0f, ui::rgb(128, 0, 255), ui::rgb(220, 220, 220)},
    {4.0f, ui::rgb(1, 128, 0), ui::rgb(192, 192, 192)},
    {8.0f, ui::rgb(255, 0, 0), ui::rgb(164, 164, 164)},
    {16.0f, ui::rgb(255, 128, 0), ui::rgb(142, 142, 142)},
};

// Any other code (a pattern file may hold one) is drawn in cyan in both views.
LevelLook lookOf(float levelCode) {
    for (const LevelLook& look : kLevelLooks) {
        if (look.code == levelCode) {
            return look;
        }
    }
    return {levelCode, kOtherLevel, kOtherLevel};
}

} // namespace

ui::Colour levelColour(float levelCode) {
    return lookOf(levelCode).colour;
}

ui::Colour levelShade(float levelCode) {
    return lookOf(levelCode).shade;
}

std::int32_t penLevelForControl(std::int32_t id) {
    switch (id) {
    case 1111:
        return 1;
    case 1112:
        return 2;
    case 1113:
        return 4;
    case 1114:
        return 8;
    case 1115:
        return 16;
    default:
        return 0;
    }
}

std::int32_t penControlForLevel(std::int32_t levelCode) {
    for (std::int32_t id = kFirstPenId; id < kFirstPenId + 5; ++id) {
        if (penLevelForControl(id) == levelCode) {
            return id;
        }
    }
    return kFirstPenId;
}

GridPoint gridPointAt(std::int32_t x, std::int32_t y, std::int32_t gridScroll) {
    const double offset = static_cast<double>(gridScroll) - kGridScrollOrigin;
    return {roundHalfEven((static_cast<double>(x) - offset) / 6.0),
            roundHalfEven(static_cast<double>(y) / 6.0)};
}

std::string gridReadoutText(std::int32_t x, std::int32_t y, std::int32_t gridScroll) {
    const GridPoint point = gridPointAt(x, y, gridScroll);
    if (point.row < 1 || point.row > kToneRows) {
        return "----  Out of range  ----";
    }
    return "Tone = " + signedText(kCentreRow - point.row) + "  Dot = " + signedText(point.slot);
}

void drawDotScale(ui::Window window) {
    ui::graphicClear(window, kDotScaleId, kScaleBackground);
    for (std::int32_t i = 1; i <= 3541; i += 60) {
        const std::int32_t number = roundHalfEven(static_cast<double>(i) / 6.0);
        ui::graphicText(window, kDotScaleId, i - 6, 0, std::to_string(number), "Arial", 6,
                        kScaleText);
    }
    ui::graphicShow(window, kDotScaleId);
}

void redrawPatternViews(ui::Window window, const BeaconPattern& pattern,
                        std::int32_t penLevelCode) {
    const std::int32_t lastSlot = std::min(pattern.dotCount, kMaxDotCount);

    ui::graphicClear(window, kPatternGridId, kWhite);
    for (std::int32_t i = 0; i < kSlotCount; i += 2) {
        ui::graphicBox(window, kPatternGridId, 6 * i - 3, 3, 6 * i + 4, 100, kGreyColumn,
                       kGridForeground);
        ui::graphicBox(window, kPatternGridId, 6 * i - 3, 45, 6 * i + 4, 51, kCentreBand,
                       kGridForeground);
    }
    for (std::int32_t i = 0; i <= lastSlot; ++i) {
        const auto index = static_cast<std::size_t>(i);
        const float t = pattern.toneIndex[index];
        const float code = pattern.levelCode[index];
        if (code != 0.0f && t >= 1.0f) {
            drawDot(window, i, static_cast<double>(t), code);
        }
    }
    ui::graphicBox(window, kPatternGridId, 0, -1, 3600, 3, kScaleBackground, kGridForeground);
    ui::graphicShow(window, kPatternGridId);

    ui::graphicClear(window, kPatternStripId, kStripBackground);
    for (std::int32_t i = 0; i <= lastSlot; ++i) {
        const auto index = static_cast<std::size_t>(i);
        const float t = pattern.toneIndex[index];
        const float code = pattern.levelCode[index];
        if (code != 0.0f && t >= 1.0f) {
            const ui::Colour shade = levelShade(code);
            const double row = static_cast<double>(t);
            ui::graphicBox(window, kPatternStripId, i, roundHalfEven(7.0 + row), i + 1,
                           roundHalfEven(9.0 + row), shade, shade);
        }
    }
    ui::graphicBox(window, kPatternStripId, -1, -1, pattern.dotCount, 5, kStripLine,
                   kStripForeground);
    ui::graphicShow(window, kPatternStripId);

    ui::graphicClear(window, kCycleBarId, kWhite);
    ui::graphicShow(window, kCycleBarId);

    // The mark follows the pen: a click paints in the level the radios show.
    const std::int32_t marked = penControlForLevel(penLevelCode);
    for (std::int32_t id = kFirstPenId; id <= kFirstPenId + 4; ++id) {
        ui::controlSetCheck(window, id, id == marked);
    }
}

void onMouseMove(ui::Window window, std::int32_t x, std::int32_t y, std::int32_t gridScroll) {
    ui::controlSetText(window, kGridReadoutId, gridReadoutText(x, y, gridScroll));
}

std::optional<SlotEdit> paintedSlot(std::int32_t x, std::int32_t y, std::int32_t gridScroll,
                                    std::int32_t penLevelCode) {
    const GridPoint point = gridPointAt(x, y, gridScroll);
    if (point.row < 1 || point.row > kToneRows || !slotInRange(point.slot)) {
        return std::nullopt;
    }
    return SlotEdit{point.slot, static_cast<float>(point.row), static_cast<float>(penLevelCode)};
}

std::optional<SlotEdit> erasedSlot(std::int32_t x, std::int32_t y, std::int32_t gridScroll) {
    const GridPoint point = gridPointAt(x, y, gridScroll);
    if (y < 0 || y >= kGridHeight || !slotInRange(point.slot)) {
        return std::nullopt;
    }
    return SlotEdit{point.slot, 0.0f, 0.0f};
}

void drawSlot(ui::Window window, const BeaconPattern& pattern, std::int32_t slot, float toneBefore,
              float levelBefore) {
    if (!slotInRange(slot)) {
        return;
    }
    const auto index = static_cast<std::size_t>(slot);
    const float tone = pattern.toneIndex[index], level = pattern.levelCode[index];
    // A slot that was erased is clear already; any other slot may show an old dot.
    if (toneBefore != 0.0f || levelBefore != 0.0f) {
        clearColumn(window, slot);
    }
    if (level != 0.0f && tone >= 1.0f) {
        drawDot(window, slot, static_cast<double>(tone), level);
    }
    ui::graphicShow(window, kPatternGridId);
}

void scrollGrid(ui::Window window, std::int32_t position, std::int32_t& gridScroll) {
    gridScroll = position;
    ui::scrollSetPos(window, kMoveWindowId, position, true);
    ui::controlMove(window, kPatternGridId, position - kGridScrollOrigin, 0);
    ui::controlMove(window, kDotScaleId, position - kGridScrollOrigin, 100);
}

void onGraphScroll(ui::Window window, std::uint32_t code, std::int32_t position,
                   std::int32_t& gridScroll) {
    scrollGrid(window,
               code == msg::SB_THUMBTRACK ? position : ui::scrollGetPos(window, kMoveWindowId),
               gridScroll);
}

void drawCycleProgress(ui::Window window, const CycleProgress& progress) {
    if (progress.dot >= 0) {
        ui::graphicBox(window, kPatternStripId, 0, -1, progress.dot, 5, kRed, kStripForeground);
        ui::graphicShow(window, kPatternStripId);
    }
    const auto x = [&progress](std::int64_t dots) {
        return roundToInt32(static_cast<double>(dots) * kCycleBarScale /
                            static_cast<double>(progress.cycleDots));
    };
    ui::graphicBox(window, kCycleBarId, x(progress.barFrom), 0, x(progress.barTo), 12,
                   progress.sounding ? kRed : kBlue, kCycleForeground);
    ui::graphicShow(window, kCycleBarId);
}

} // namespace vesk
