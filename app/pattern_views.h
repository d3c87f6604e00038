// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tone/pattern.h"
#include "tone/sequencer.h"
#include "ui/toolkit.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vesk {

// Control ids of the four graphic areas, the grid readout and the track bar.
inline constexpr std::int32_t kPatternGridId = 500;
inline constexpr std::int32_t kDotScaleId = 501;
inline constexpr std::int32_t kPatternStripId = 502;
inline constexpr std::int32_t kCycleBarId = 504;
inline constexpr std::int32_t kGridReadoutId = 990;
inline constexpr std::int32_t kMoveWindowId = 1000;
inline constexpr std::int32_t kFirstPenId = 1111; // 1111..1115: 0 dB .. -24 dB
inline constexpr std::int32_t kGridScrollOrigin = 3000;
// Width of the pattern grid and the dot scale, in pixels; the track bar's range spans it.
inline constexpr std::int32_t kGridWidth = 3604;
inline constexpr std::int32_t kGridScrollMax = kGridWidth;
// The cycle bar's scale: pixels per repeat cycle.
inline constexpr int kCycleBarScale = 180;

// Colour of a dot of `levelCode` in the grid, and its grey shade in the strip.
ui::Colour levelColour(float levelCode);
ui::Colour levelShade(float levelCode);

// Level code (1, 2, 4, 8, 16) of pen radio 1111..1115; 0 for any other id.
std::int32_t penLevelForControl(std::int32_t id);
// Pen radio 1111..1115 of a level code; 1111 for any other code.
std::int32_t penControlForLevel(std::int32_t levelCode);

// Slot and row under a client position, ties to even; the slot may lie outside 0..600.
struct GridPoint {
    std::int32_t slot = 0;
    std::int32_t row = 0;
};
GridPoint gridPointAt(std::int32_t x, std::int32_t y, std::int32_t gridScroll);

// The readout text for a client position: "Tone =  5  Dot =  42" or "----  Out of range  ----".
std::string gridReadoutText(std::int32_t x, std::int32_t y, std::int32_t gridScroll);

// Draws the dot numbers 0, 10, ... 590 along the dot scale (once, at start-up).
void drawDotScale(ui::Window window);

// Rebuilds the grid and strip from the pattern, clears the cycle bar and marks the radio of
// the pen in use (`penLevelCode` 1, 2, 4, 8 or 16; any other value marks 1111).
void redrawPatternViews(ui::Window window, const BeaconPattern& pattern, std::int32_t penLevelCode);

// Mouse handlers of the main window (client coordinates).
void onMouseMove(ui::Window window, std::int32_t x, std::int32_t y, std::int32_t gridScroll);

// What a click in the grid does to one slot: its new tone row and level code (both 0: erased).
struct SlotEdit {
    std::int32_t slot = 0; // 0..600
    float tone = 0.0f;
    float level = 0.0f;
};
// Left button: a dot at the row under the mouse with the pen's level; clicks outside the 16
// rows or the 601 slots set nothing.
std::optional<SlotEdit> paintedSlot(std::int32_t x, std::int32_t y, std::int32_t gridScroll,
                                    std::int32_t penLevelCode);
// Right button: the slot under the mouse erased, inside the grid only (client y 0..99); slots
// outside 0..600 are left alone.
std::optional<SlotEdit> erasedSlot(std::int32_t x, std::int32_t y, std::int32_t gridScroll);
// Redraws the grid column of `slot` as `pattern` holds it now, after it held `toneBefore` and
// `levelBefore`. Only the grid follows; the strip waits for the next redrawPatternViews.
void drawSlot(ui::Window window, const BeaconPattern& pattern, std::int32_t slot, float toneBefore,
              float levelBefore);

// Puts the track bar's thumb at `position` (0..3604) and the grid and dot scale with it;
// stores the position in `gridScroll`. kGridScrollOrigin shows slot 0 at the left edge.
void scrollGrid(ui::Window window, std::int32_t position, std::int32_t& gridScroll);
// Track bar 1000: the grid and dot scale follow its thumb, whatever moved it (a drag reports
// its position, code 5; keys, the track and the wheel have moved the thumb already).
void onGraphScroll(ui::Window window, std::uint32_t code, std::int32_t position,
                   std::int32_t& gridScroll);

// Playback's progress: the played part of the pattern strip in red (slot `dot`), and the newest
// stretch of the cycle bar, red while the pattern sounds and blue in the silent rest, at
// kCycleBarScale pixels per cycle.
void drawCycleProgress(ui::Window window, const CycleProgress& progress);

} // namespace vesk
