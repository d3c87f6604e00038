// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/toolkit.h"

#include <cstdint>

// Dialog units: a layout measure that follows the dialog's font. Horizontal units are quarters
// and vertical units eighths of the font's average character width and height. Plain
// arithmetic, no toolkit calls, so it lives in the engine library and is tested there.
namespace vesk::ui {

// a * b / c rounded to the nearest integer, halves away from zero, computed in 64 bits (the
// platform's MulDiv); c == 0 or a result outside 32 bits gives -1.
std::int32_t mulDiv(std::int32_t a, std::int32_t b, std::int32_t c);

// Pixels per 4 horizontal and per 8 vertical dialog units of a dialog's font.
struct BaseUnits {
    int x = 0;
    int y = 0;
};

// Base units of a font from the advance of the 52 letters "A".."Z", "a".."z" side by side and
// the font's line height, both in pixels: the average width rounded to the nearest pixel from
// whole 1/26ths, as the platform measures it.
BaseUnits baseUnitsOf(int alphabetAdvance, int lineHeight);

// Converts a dialog-unit rectangle to pixels; the four edges are converted one by one, so the
// width is right minus left after rounding, as the platform's MapDialogRect does.
Rect mapDialogRect(const Rect& units, BaseUnits base);

// The scaling (device pixels per pixel) for a window of `width` x `height` pixels on a work
// area of `areaWidth` x `areaHeight` device pixels: `scale` when the window fits at it (or
// scale is at most 1), else the largest scale in steps of 1/100 at which it fits, never below 1.
double fittingScale(double scale, std::int32_t width, std::int32_t height, std::int32_t areaWidth,
                    std::int32_t areaHeight);

} // namespace vesk::ui
